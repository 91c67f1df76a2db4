// Writes small template sets into a temporary directory so a test can load
// exactly the tree it needs through the exported functions.
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

struct SubSpec {
    int index;
    std::string id;
    std::string outputId;
    int width;  // PhysicalSize in thousandths of an inch; <0 = no FilterInfoList
    int height;
};

struct GroupSpec {
    std::string name;
    int action = 1;
    int attached = 0;
    std::vector<GroupSpec> children;
    bool withConfig = true;
};

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/morvane_api_XXXXXX";
        path_ = mkdtemp(tmpl);
        path_ += "/";
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& path() const { return path_; }
    void Write(const std::string& name, const std::string& text) const {
        const size_t slash = name.rfind('/');
        if (slash != std::string::npos) ::mkdir((path_ + name.substr(0, slash)).c_str(), 0777);
        std::ofstream(path_ + name, std::ios::binary) << text;
    }

private:
    std::string path_;
};

inline std::string NullDeviceList() {
    return "<?xml version=\"1.0\"?>\n<DeviceList><Device Type=\"0\"><BasicInfo Name=\"null\" Version=\"1\" "
           "Priority=\"0\" PageCtrl=\"0\"/></Device></DeviceList>\n";
}

// A size filter with index 1 measuring at `dpi` (0 = no PixelResolution).
inline std::string SizeFilterTemplate(int dpi, int processType = 0) {
    std::string s =
        "<FilterList Size=\"1\"><Filter Type=\"1\"><BasicProperty Index=\"1\" Name=\"size\" "
        "ProcessType=\"" +
        std::to_string(processType) + "\" ApplicationType=\"1\"/>";
    if (dpi > 0)
        s += "<PixelResolution HoriDpi=\"" + std::to_string(dpi) + "\" VertDpi=\"" + std::to_string(dpi) +
             "\"/>";
    return s + "</Filter></FilterList>";
}

inline std::string GroupXml(const GroupSpec& g, int threshold) {
    std::string s = "<TemplateGroup Name=\"" + g.name + "\" Action=\"" + std::to_string(g.action) +
                    "\" AttachedTemplate=\"" + std::to_string(g.attached) + "\" ChildNum=\"" +
                    std::to_string(g.children.size()) + "\">";
    if (!g.children.empty() && g.withConfig)
        s += "<FilterConfigList Size=\"1\"><FilterConfig RefFilter=\"1\" FilterThresh=\"" +
             std::to_string(threshold) +
             "\" FilterWeight=\"10\" FeatureMode=\"0\" InheritedFilter=\"-1\"/></FilterConfigList>";
    for (const auto& c : g.children) s += GroupXml(c, threshold);
    return s + "</TemplateGroup>";
}

// Writes main.xml, filters.xml, list.xml and sub/*.xml; returns main.xml's path.
inline std::string WriteTemplateSet(const TempDir& dir, const GroupSpec& root,
                                    const std::vector<SubSpec>& subs, const std::string& filters,
                                    int threshold = 750) {
    dir.Write("main.xml",
              "<MainTemplate><FilterTemplatePath>filters.xml</FilterTemplatePath>"
              "<SubTemplateListPath>list.xml</SubTemplateListPath>"
              "<SubTemplatePath>sub\\</SubTemplatePath><ImagePath>img\\</ImagePath>" +
                  GroupXml(root, threshold) + "</MainTemplate>");
    dir.Write("filters.xml", filters);
    std::string list = "<SubTemplateList Size=\"" + std::to_string(subs.size()) + "\">";
    for (const auto& s : subs) {
        const std::string file = "s" + std::to_string(s.index) + ".xml";
        list += "<SubTemplate>" + file + "</SubTemplate>";
        std::string x = "<SubTemplate Index=\"" + std::to_string(s.index) + "\" ID=\"" + s.id +
                        "\" Name=\"Name of " + s.id + "\" OutputID=\"" + s.outputId + "\">";
        if (s.width >= 0)
            x += "<FilterInfoList Size=\"1\"><FilterInfo RefFilter=\"1\" Type=\"1\"><PhysicalSize Width=\"" +
                 std::to_string(s.width) + "\" Height=\"" + std::to_string(s.height) +
                 "\"/></FilterInfo></FilterInfoList>";
        dir.Write("sub/" + file, x + "</SubTemplate>");
    }
    dir.Write("list.xml", list + "</SubTemplateList>");
    return dir.path() + "main.xml";
}
