#!/usr/bin/env python3
"""Writes a large template set for measuring what loading one costs.

    make_template.py OUTDIR CLASSES [SHAPE]

SHAPE "set" (the default): OUTDIR receives main.xml (one group of CLASSES classes under a size filter,
told apart by a grid, a frame-line and a text filter), filters.xml,
subtemplates.xml and sub/cNNNNN.xml, one sub-template per class holding a
16 x 16 grid, 40 frame lines and 4 text lines: the records a taught set is
made of. About 9 kB per class, so 7000 classes make a set of about 63 MB.
The other shapes make CLASSES classes whose sub-templates each hold one kind
of record only, as many as one file may hold: "textlines" (90 000 text
lines, about 17 MB), "framelines" (100 000 frame lines, about 15 MB) and
"grid" (a 3000 x 3000 grid, about 50 MB).
Prints the total size of the files in bytes.
"""
import os
import random
import sys


def main():
    out, classes = sys.argv[1], int(sys.argv[2])
    shape = sys.argv[3] if len(sys.argv) > 3 else "set"
    if shape not in ("set", "textlines", "framelines", "grid"):
        sys.exit("make_template: unknown shape " + shape)
    counts = {"set": (16, 40, 4), "textlines": (0, 0, 90000), "framelines": (0, 100000, 0), "grid": (3000, 0, 0)}
    grid_side, frame_lines, text_lines = counts[shape]
    os.makedirs(os.path.join(out, "sub"), exist_ok=True)
    rng = random.Random(7)
    total = 0

    def write(name, text):
        nonlocal total
        path = os.path.join(out, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        total += os.path.getsize(path)

    write("filters.xml", """<?xml version="1.0" encoding="UTF-8"?>
<FilterList Size="4">
  <Filter Type="1">
    <BasicProperty Index="1" Name="Page size" Threshold="900" Weight="10" ProcessType="0" OutputType="0" ApplicationType="1" ImagePath=""/>
    <PixelResolution HoriDpi="300" VertDpi="300"/>
  </Filter>
  <Filter Type="2">
    <BasicProperty Index="2" Name="Ink layout" Threshold="900" Weight="10" ProcessType="1" OutputType="0" ApplicationType="1" ImagePath=""/>
    <ImageProcessingList Size="1"><ImageProcessing Type="2"><GrayToBin Method="6"/></ImageProcessing></ImageProcessingList>
    <GridRule Row="16" Col="16"/>
  </Filter>
  <Filter Type="3">
    <BasicProperty Index="3" Name="Ruling" Threshold="500" Weight="10" ProcessType="1" OutputType="0" ApplicationType="1" ImagePath=""/>
    <Region Left="0" Top="0" Right="10000" Bottom="10000"/>
    <LineDetection Method="1"/>
    <FrameLineRuleList Size="1">
      <FrameLineRule Index="0" Style="0" MinLength="500" MaxLength="10000" MinWidth="1" MaxWidth="8" Angle="0" Color="0" Quality="80"/>
    </FrameLineRuleList>
  </Filter>
  <Filter Type="4">
    <BasicProperty Index="4" Name="Heading" Threshold="500" Weight="10" ProcessType="1" OutputType="0" ApplicationType="0" ImagePath=""/>
    <Region Left="0" Top="0" Right="10000" Bottom="2000"/>
    <TextMatch Method="1"/>
  </Filter>
</FilterList>
""")

    subs = ['<?xml version="1.0" encoding="UTF-8"?>', '<SubTemplateList Size="%d">' % (classes + 1),
            "  <SubTemplate>root.xml</SubTemplate>"]
    groups = []
    for c in range(classes):
        subs.append("  <SubTemplate>c%05d.xml</SubTemplate>" % c)
        groups.append('      <TemplateGroup Index="%d" Name="Class %d" Action="1" AttachedTemplate="%d" ChildNum="0"/>'
                      % (c + 10, c, c + 1))
        rows = []
        for _ in range(grid_side):
            rows.append("        <GridData>%s</GridData>" % ",".join(str(rng.randrange(20000)) for _ in range(grid_side)))
        lines = []
        for i in range(frame_lines):
            a = 0 if i % 2 == 0 else 90
            p, q, r = rng.randrange(10000), rng.randrange(5000), rng.randrange(5000, 10000)
            pts = (q, p, r, p) if a == 0 else (p, q, p, r)
            lines.append('        <FrameLine Index="%d" Style="0" Color="0" Angle="%d"><Line StartPtX="%d" StartPtY="%d" '
                         'EndPtX="%d" EndPtY="%d"/></FrameLine>' % ((i, a) + pts))
        texts = []
        for i in range(text_lines):
            word = "".join(rng.choice("ABCDEFGHIJKLMNOPQRSTUVWXYZ") for _ in range(24))
            texts.append('        <TextLine Index="%d" FilterType="1" Offset="%d" Text="%s" Charset="ABCDEFGHIJKLMNOPQRSTUVWXYZ">'
                         '<Region Left="500" Top="%d" Right="9500" Bottom="%d"/></TextLine>'
                         % (i, i, word, 300 + i * 400, 600 + i * 400))
        write(os.path.join("sub", "c%05d.xml" % c), "\n".join([
            '<?xml version="1.0" encoding="UTF-8"?>',
            '<SubTemplate Index="%d" ID="C%05d" Name="Class %d" ImagePath="" OutputID="C%05d">' % (c + 1, c, c, c),
            '  <FilterInfoList Size="%d">' % ((grid_side > 0) + (frame_lines > 0) + (text_lines > 0)),
            *([] if not grid_side else [
                '    <FilterInfo RefFilter="2" Type="2">',
                '      <GridDataList Row="%d" Col="%d" AverDensity="10000">' % (grid_side, grid_side),
                *rows,
                "      </GridDataList>",
                "    </FilterInfo>"]),
            *([] if not frame_lines else [
                '    <FilterInfo RefFilter="3" Type="3">',
                '      <LineDetection Method="1"/>',
                '      <FrameLineList Size="%d">' % frame_lines,
                *lines,
                "      </FrameLineList>",
                "    </FilterInfo>"]),
            *([] if not text_lines else [
                '    <FilterInfo RefFilter="4" Type="4">',
                '      <TextMatch Method="1"/>',
                '      <TextLineList Size="%d">' % text_lines,
                *texts,
                "      </TextLineList>",
                "    </FilterInfo>"]),
            "  </FilterInfoList>",
            "</SubTemplate>", ""]))
    write(os.path.join("sub", "root.xml"), """<?xml version="1.0" encoding="UTF-8"?>
<SubTemplate Index="0" ID="A4" Name="A4 page" ImagePath="" OutputID="A4">
  <FilterInfoList Size="1">
    <FilterInfo RefFilter="1" Type="1"><PhysicalSize Width="8268" Height="11693"/><PixelResolution HoriDpi="300" VertDpi="300"/></FilterInfo>
  </FilterInfoList>
</SubTemplate>
""")
    subs.append("</SubTemplateList>\n")
    write("subtemplates.xml", "\n".join(subs))
    write("main.xml", "\n".join([
        '<?xml version="1.0" encoding="UTF-8"?>',
        "<MainTemplate>",
        "  <FilterTemplatePath>filters.xml</FilterTemplatePath>",
        "  <SubTemplateListPath>subtemplates.xml</SubTemplateListPath>",
        "  <SubTemplatePath>sub/</SubTemplatePath>",
        "  <ImagePath>images/</ImagePath>",
        '  <TemplateGroup Index="0" Name="Documents" Action="1" AttachedTemplate="-1" ChildNum="1">',
        '    <FilterConfigList Size="1">',
        '      <FilterConfig RefFilter="1" FilterThresh="900" FilterWeight="10" FeatureMode="0" InheritedFilter="-1"/>',
        "    </FilterConfigList>",
        '    <TemplateGroup Index="1" Name="A4 page" Action="1" AttachedTemplate="0" ChildNum="%d">' % classes,
        '      <FilterConfigList Size="3">',
        '        <FilterConfig RefFilter="2" FilterThresh="900" FilterWeight="10" FeatureMode="0" InheritedFilter="-1"/>',
        '        <FilterConfig RefFilter="3" FilterThresh="500" FilterWeight="10" FeatureMode="0" InheritedFilter="-1"/>',
        '        <FilterConfig RefFilter="4" FilterThresh="500" FilterWeight="10" FeatureMode="0" InheritedFilter="-1"/>',
        "      </FilterConfigList>",
        *groups,
        "    </TemplateGroup>",
        "  </TemplateGroup>",
        "</MainTemplate>", ""]))
    print(total)


if __name__ == "__main__":
    main()
