// SVG drawings with the real office suite behind the converter: a drawing becomes a vector
// PDF of its own size whose text stays text, packed or not, converted alone or dropped into
// a scanned folder; a drawing that would take anything from another file, and one too large,
// damaged, malformed or no SVG at all, is refused with the reason before the suite sees it.
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/CreatePDF.h"
#include "server/ScanCycleFixture.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

// Text over a linear and a radial gradient, and a hyperlink, as drawing programs write them.
const std::string kChart = R"svg(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE svg PUBLIC "-//W3C//DTD SVG 1.1//EN" "http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd">
<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="400" height="300">
  <defs>
    <linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#1060d0"/><stop offset="1" stop-color="#f0c040"/>
    </linearGradient>
    <radialGradient id="sun"><stop offset="0" stop-color="#ffffff"/><stop offset="1" stop-color="#ff6000"/></radialGradient>
  </defs>
  <rect width="400" height="300" fill="url(#sky)"/>
  <circle cx="300" cy="80" r="50" style="fill:url('#sun')"/>
  <a xlink:href="https://example.org/harbour"><text x="20" y="250" font-family="DejaVu Sans" font-size="28">Quarterly harbour chart</text></a>
  <text x="20" y="285" font-size="16">Ünïcödé ✓ 東京</text>
</svg>
)svg";

std::string gzip(const std::string& bytes) {
  z_stream stream{};
  deflateInit2(&stream, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string packed(deflateBound(&stream, bytes.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(packed.data());
  stream.avail_out = static_cast<uInt>(packed.size());
  deflate(&stream, Z_FINISH);
  packed.resize(stream.total_out);
  deflateEnd(&stream);
  return packed;
}

// The colour of a pixel of the first page, rendered at 10 dots an inch (x and y from 0 to 1).
std::vector<int> colourAt(const std::string& pdf, double x, double y) {
  const std::string ppm = ProgramOutput("pdftoppm", {"-r", "10", "-f", "1", "-l", "1", pdf});
  int width = 0;
  int height = 0;
  int headerEnd = 0;
  if (std::sscanf(ppm.c_str(), "P6 %d %d 255%n", &width, &height, &headerEnd) != 2 || width < 1 || height < 1)
    return {};
  const std::size_t at =
      static_cast<std::size_t>(headerEnd + 1) +
      3 * (static_cast<std::size_t>(y * (height - 1)) * width + static_cast<std::size_t>(x * (width - 1)));
  if (at + 3 > ppm.size()) return {};
  return {static_cast<unsigned char>(ppm[at]), static_cast<unsigned char>(ppm[at + 1]),
          static_cast<unsigned char>(ppm[at + 2])};
}

// The lines of pdfimages -list after its two heading lines: one per picture in the PDF.
int pictures(const std::string& pdf) {
  const std::string list = ProgramOutput("pdfimages", {"-list", pdf});
  int lines = 0;
  for (const char c : list) lines += c == '\n';
  return lines - 2;
}

void expectTheChart(const std::string& pdf) {
  EXPECT_EQ(PageCount(pdf), 1);
  ExpectContainsAll(PdfText(pdf), {"Quarterly harbour chart", "Ünïcödé ✓ 東京"});
  // Drawn, not pasted in as a picture of the page.
  EXPECT_EQ(pictures(pdf), 0) << ProgramOutput("pdfimages", {"-list", pdf});
  // 400 by 300 pixels of 1/96 inch.
  EXPECT_NE(ProgramOutput("pdfinfo", {pdf}).find("Page size:       300"), std::string::npos)
      << ProgramOutput("pdfinfo", {pdf});
  // The sky's gradient runs from blue at the top to yellow at the foot.
  const std::vector<int> top = colourAt(pdf, 0.05, 0.02);
  const std::vector<int> foot = colourAt(pdf, 0.05, 0.98);
  ASSERT_EQ(top.size(), 3u);
  ASSERT_EQ(foot.size(), 3u);
  EXPECT_GT(top[2], top[0] + 100) << "top is not blue";
  EXPECT_GT(foot[0], foot[2] + 100) << "foot is not yellow";
}

class SvgConverterTest : public IsolatedTest {
 protected:
  std::string write(const std::string& name, const std::string& bytes) {
    WriteBytes(scratch(name), bytes);
    return scratch(name);
  }
  std::string pdfOf(const std::string& name) { return scratch(name.substr(0, name.find('.')) + ".pdf"); }
  void convert(const std::string& name) {
    engine_.convertFile(pdfOf(name), scratch(name), name.substr(name.find('.') + 1), false);
  }

  CreatePDF engine_;
};

TEST_F(SvgConverterTest, DrawingsBecomeVectorPdfsOfTheirSizeWithTextAndGradientsPackedOrNot) {
  const std::vector<std::pair<std::string, std::string>> drawings = {{"chart.svg", kChart},
                                                                     {"packed.svgz", gzip(kChart)}};
  for (const auto& [name, bytes] : drawings) {
    SCOPED_TRACE(name);
    write(name, bytes);
    convert(name);
    expectTheChart(pdfOf(name));
  }
}

TEST_F(SvgConverterTest, DrawingsThatReachOutsideThemselvesOrCannotBeReadAreRefusedWithTheReason) {
  const std::string secret = scratch("secret.png");
  CopySettledFile(Corpus("png/basn2c16.png"), secret);
  const std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\">";
  std::string deep = svg;
  for (int i = 0; i < 600; ++i) deep += "<g>";
  for (int i = 0; i < 600; ++i) deep += "</g>";
  deep += "</svg>";
  // Each entity ten of the one before: a billion laughs, were they expanded.
  std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY l0 \"haha\">";
  for (int level = 1; level <= 9; ++level) {
    std::string references;
    for (int i = 0; i < 10; ++i) references += "&l" + std::to_string(level - 1) + ";";
    laughs += "<!ENTITY l" + std::to_string(level) + " \"" + references + "\">";
  }
  laughs += "]><svg xmlns=\"http://www.w3.org/2000/svg\"><text>&l9;</text></svg>";
  const std::string packed = gzip(kChart);

  const std::vector<std::pair<std::string, std::pair<std::string, std::string>>> cases = {
      {"linked.svg",
       {svg + "<image xlink:href=\"file://" + secret + "\"/></svg>", "refers to another file (file://" + secret + ")"}},
      {"relative.svg", {svg + "<image href=\" secret.png\"/></svg>", "refers to another file (secret.png)"}},
      {"used.svg", {svg + "<use xlink:href=\"other.svg#r\"/></svg>", "refers to another file (other.svg#r)"}},
      {"painted.svg", {svg + "<rect fill=\"url(other.svg#g)\"/></svg>", "refers to another file (other.svg#g)"}},
      {"entity.svg",
       {"<!DOCTYPE svg [<!ENTITY leak SYSTEM \"" + secret + "\">]>" + svg + "<text>&leak;</text></svg>",
        "declares an entity that is read from another file (" + secret + ")"}},
      {"styled.svg",
       {"<?xml-stylesheet type=\"text/css\" href=\"x.css\"?>" + svg + "</svg>",
        "refers to a style sheet in another file"}},
      {"imported.svg", {svg + "<style>@import url(x.css);</style></svg>", "imports a style sheet from another file"}},
      {"fonts.svg",
       {svg + "<style>@font-face { src: url('/usr/share/fonts/x.ttf') }</style></svg>",
        "refers to another file (/usr/share/fonts/x.ttf)"}},
      {"included.svg",
       {"<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xi=\"http://www.w3.org/2001/XInclude\">"
        "<xi:include href=\"#x\"/></svg>",
        "includes another file"}},
      {"laughs.svg", {laughs, "is not well-formed XML"}},
      {"broken.svg", {svg + "<g></svg>", "is not well-formed XML"}},
      {"page.svg", {"<html><body>not a drawing</body></html>", "is no SVG drawing: its outermost element is <html>"}},
      {"deep.svg", {deep, "nests its elements more than 512 deep"}},
      {"cut.svgz", {packed.substr(0, packed.size() / 2), "is a damaged compressed drawing"}},
      {"bomb.svgz", {gzip(svg + std::string(std::size_t{65} << 20, ' ') + "</svg>"), "unpacks to more than 64 MB"}},
  };
  for (const auto& [name, drawing] : cases) {
    SCOPED_TRACE(name);
    const std::string path = write(name, drawing.first);
    const std::string error = EngineErrorOf([&] { convert(name); });
    ExpectContainsAll(error, {"The drawing " + path + " ", drawing.second});
    EXPECT_FALSE(FileExistsOnDisk(pdfOf(name)));
  }
  // Too large to be read at all: refused by its length.
  const std::string huge = write("huge.svg", svg);
  ASSERT_EQ(truncate(huge.c_str(), (std::int64_t{64} << 20) + 1), 0);
  ExpectContainsAll(EngineErrorOf([&] { convert("huge.svg"); }), {"is larger than 64 MB"});
}

using SvgScanTest = ScanCycleFixture;

TEST_F(SvgScanTest, ADrawingDroppedIntoTheInputFolderBecomesItsPdfAndGoes) {
  environment.set("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR);
  realEngine = true;
  WriteSettledFile(in("harbour chart.svg"), kChart);
  runPasses(1);
  EXPECT_EQ(observer.converted,
            (std::vector<std::pair<std::string, std::string>>{{in("harbour chart.svg"), out("harbour chart.pdf")}}));
  EXPECT_TRUE(observer.failed.empty()) << observer.failed.front().second;
  expectTheChart(out("harbour chart.pdf"));
  EXPECT_FALSE(FileExistsOnDisk(in("harbour chart.svg")));
}

}  // namespace
}  // namespace vd::test
