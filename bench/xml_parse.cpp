// Parsing throughput of the XML document on a template-like document of
// about 1 MB (nested groups, lists with a "Size" attribute, records with
// several integer attributes), beside pugixml on the same bytes when it
// is available.
//
// Both parsers run under the same, fixed allocator settings: glibc's malloc
// otherwise serves blocks above an adaptive threshold (128 KiB at start,
// raised as such blocks are freed) with fresh mappings, so whichever parser
// ran first, or allocates its buffers in larger pieces, paid the page faults
// of every iteration and the comparison measured the allocator's history.
// The settings are those the command-line workers and the Python package
// use (mmap threshold 32 MiB, trim threshold 128 MiB); --default_malloc
// keeps glibc's adaptive defaults instead (for both).
#include <benchmark/benchmark.h>

#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cstdint>
#include <string>

#include "xml/XmlDocument.h"

#ifdef HAVE_PUGIXML
#include <pugixml.hpp>
#endif

using libMorvaneClassifier::CXmlDocument;

namespace {

// Builds a sub-template-like document of at least targetBytes bytes.
std::string BuildDocument(size_t targetBytes) {
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- generated template -->\n";
    s += "<MainTemplate Name=\"Benchmark\" Version=\"3\" ID=\"1\">\n";
    int group = 0;
    while (s.size() < targetBytes) {
        ++group;
        s += "  <TemplateGroup Name=\"Group " + std::to_string(group) + "\" Default=\"0\" ID=\"" +
             std::to_string(group) + "\">\n";
        s += "    <FilterConfigList Size=\"2\">\n";
        s += "      <FilterConfig Type=\"1\" Threshold=\"750\" Weight=\"100\" Mode=\"0\"/>\n";
        s += "      <FilterConfig Type=\"2\" Threshold=\"600\" Weight=\"80\" Mode=\"1\"/>\n";
        s += "    </FilterConfigList>\n";
        s += "    <SubTemplate Name=\"Card &amp; page " + std::to_string(group) + "\" ID=\"" +
             std::to_string(group * 10) + "\" OutputID=\"" + std::to_string(group * 100) + "\">\n";
        s += "      <PhysicalSize Width=\"85600\" Height=\"53980\" Tolerance=\"1500\"/>\n";
        s += "      <AnchorList Size=\"4\">\n";
        for (int a = 0; a < 4; ++a)
            s += "        <Anchor Left=\"" + std::to_string(100 * a) + "\" Top=\"" + std::to_string(250 + a) +
                 "\" Right=\"" + std::to_string(900 - a) + "\" Bottom=\"" + std::to_string(400 + 3 * a) +
                 "\" Type=\"" + std::to_string(a % 3) + "\"/>\n";
        s += "      </AnchorList>\n";
        s += "      <TextLineList Size=\"3\">\n";
        for (int t = 0; t < 3; ++t)
            s += "        <TextLine Left=\"" + std::to_string(1200 + t) + "\" Top=\"" +
                 std::to_string(3400 + t) + "\" Right=\"" + std::to_string(8800 - t) + "\" Bottom=\"" +
                 std::to_string(4100 + t) + "\" Engine=\"1\"><Text>REPUBLIC OF EXAMPLE " + std::to_string(t) +
                 "</Text></TextLine>\n";
        s += "      </TextLineList>\n";
        s += "      <GridInfo Rows=\"8\" Columns=\"8\">12 40 33 8 0 91 44 7</GridInfo>\n";
        s += "    </SubTemplate>\n";
        s += "  </TemplateGroup>\n";
    }
    s += "</MainTemplate>\n";
    return s;
}

const std::string& Document() {
    static const std::string doc = BuildDocument(1 << 20);
    return doc;
}

void BM_CXmlDocument_LoadFromBytes(benchmark::State& state) {
    const std::string& bytes = Document();
    for (auto _ : state) {
        CXmlDocument doc;
        const bool ok = doc.LoadFromBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        if (!ok) state.SkipWithError("document not well-formed");
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_CXmlDocument_LoadFromBytes)->Unit(benchmark::kMicrosecond);

#ifdef HAVE_PUGIXML
void BM_Pugixml_LoadBuffer(benchmark::State& state) {
    const std::string& bytes = Document();
    for (auto _ : state) {
        pugi::xml_document doc;
        const pugi::xml_parse_result result = doc.load_buffer(bytes.data(), bytes.size());
        if (!result) state.SkipWithError("pugixml failed");
        benchmark::DoNotOptimize(doc.first_child());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_Pugixml_LoadBuffer)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace

int main(int argc, char** argv) {
    bool fixed = true;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--default_malloc") == 0)
            fixed = false;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
#ifdef __GLIBC__
    if (fixed) {
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
    }
#endif
    benchmark::AddCustomContext("malloc",
                                fixed ? "fixed: mmap threshold 32 MiB, trim 128 MiB" : "glibc defaults");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
