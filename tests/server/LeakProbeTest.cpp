// Documents dropped by someone who wants the server's other files: office documents that link
// pictures (PNG, PDF, SVG), sections and text of files outside their job, or load pictures
// from a web address, and PostScript that opens, runs, lists and writes files. Converted by
// the scan cycle with the real interpreter and office suite, none of them gets a byte of the
// private files into a PDF, a Distiller log or a failure note, none reaches the network, and
// each still converts: confined, and again as where the kernel cannot confine. A document
// that carries a private picture and word in itself shows that the checks find them.
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "ProgramFixture.h"
#include "ScanCycleFixture.h"
#include "common/Paths.h"
#include "outside/worker/WorkerSpawn.h"
#include "server/PathNames.h"
#include "support/Listener.h"

namespace vd::test {
namespace {

// The words the private files hold; a PDF that shows one of them leaked it. The private
// pictures (PNG, PDF, SVG) are all of one colour that no probe uses.
const std::map<std::string, std::string> kSecretWords = {
    {"txt", "TXTSECRETWORD"}, {"pdf", "PDFSECRETWORD"}, {"svg", "SVGSECRETWORD"},
    {"ps", "PSSECRETWORD"},   {"name", "NAMESECRETWORD"}};

// A PostScript string in hexadecimal, so that no character of a path needs escaping.
std::string psString(const std::string& text) { return "<" + QByteArray::fromStdString(text).toHex().toStdString() + ">"; }

// A one-page PDF of the private pictures' colour, with a private word on it.
std::string secretPdf(const std::string& word) {
  const std::string content = "1 0 1 rg 0 0 300 200 re f 0 g BT /F1 24 Tf 20 90 Td (" + word + ") Tj ET";
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
  std::string pdf = "%PDF-1.4\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t table = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (const std::size_t offset : offsets) {
    const std::string number = std::to_string(offset);
    pdf += std::string(10 - number.size(), '0') + number + " 00000 n \n";
  }
  return pdf + "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(table) + "\n%%EOF\n";
}

// The pixels of every page of a PDF that are of the private pictures' colour.
int secretInk(const std::string& pdf, const std::string& prefix) {
  if (RunProgram("pdftoppm", {"-r", "20", pdf, prefix}) != 0) return -1;
  int found = 0;
  const std::string folder = folderOf(prefix);
  for (const std::string& page : DirectoryEntries(folder)) {
    if (page.rfind(fileNameOf(prefix) + "-", 0) != 0) continue;
    const QImage image(QString::fromStdString(folder + "/" + page));
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QColor pixel = image.pixelColor(x, y);
        if (pixel.red() > 180 && pixel.green() < 100 && pixel.blue() > 180) ++found;
      }
    }
    std::filesystem::remove(folder + "/" + page);
  }
  return found;
}

class LeakProbeTest : public ScanCycleFixture {
 protected:
  void SetUp() override {
    ScanCycleFixture::SetUp();
    realEngine = true;
    environment.set("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR);
    environment.set("VELLUMDOCK_PROGRAM_DIR", VD_BUILD_PROGRAM_DIR);
    // A document that waited for the network would fail here instead of hanging.
    environment.set("VELLUMDOCK_JOB_TIMEOUT", "60");
    runSetup(environment);
    // The private files lie outside the system's temporary folder, so the file rules keep
    // them, not only the worker's /tmp of its own.
    secrets = std::filesystem::path(VD_BUILD_HELPER_DIR).parent_path().parent_path().string() + "/leak-probe-XXXXXX";
    ASSERT_NE(mkdtemp(secrets.data()), nullptr);
    QImage picture(64, 64, QImage::Format_RGB32);
    picture.fill(QColor(255, 0, 255));
    ASSERT_TRUE(picture.save(QString::fromStdString(secret("png"))));
    WriteBytes(secret("pdf"), secretPdf(kSecretWords.at("pdf")));
    WriteBytes(secret("svg"), R"(<svg xmlns="http://www.w3.org/2000/svg" width="400" height="100">)"
                              R"(<rect width="400" height="100" fill="#ff00ff"/><text x="10" y="50" font-size="30">)" +
                                  kSecretWords.at("svg") + "</text></svg>");
    WriteBytes(secret("txt"), kSecretWords.at("txt") + "\n");
    WriteBytes(secret("ps"), "/Helvetica findfont 12 scalefont setfont 72 300 moveto (" + kSecretWords.at("ps") + ") show\n");
    WriteBytes(secrets + "/" + kSecretWords.at("name") + ".txt", "listed");
  }
  void TearDown() override { std::filesystem::remove_all(secrets); }

  std::string secret(const std::string& kind) const { return secrets + "/secret." + kind; }
  std::string secretUrl(const std::string& kind) const { return "file://" + secret(kind); }

  // Each probe by its file name, with the text its PDF shows when it converted.
  std::map<std::string, std::string> writeProbes(const std::string& webUrl) {
    std::map<std::string, std::string> probes;
    const std::vector<std::string> pictures = {"png", "pdf", "svg"};
    std::string frames;
    for (const std::string& kind : pictures) {
      frames += "<text:p>" + kind + R"(: <draw:frame draw:name=")" + kind +
                R"(" text:anchor-type="as-char" svg:width="6cm" svg:height="3cm"><draw:image xlink:href=")" +
                secretUrl(kind) + R"(" xlink:type="simple" xlink:show="embed" xlink:actuate="onLoad"/></draw:frame></text:p>)";
    }
    frames += R"(<text:p>web: <draw:frame draw:name="web" text:anchor-type="as-char" svg:width="3cm" svg:height="3cm">)"
              R"(<draw:image xlink:href=")" + webUrl + R"(" xlink:type="simple" xlink:show="embed" xlink:actuate="onLoad"/>)"
              "</draw:frame></text:p>";
    probes["flat.fodt"] = "Probe body of the flat text";
    WriteSettledFile(in("flat.fodt"), R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" office:version="1.3"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 office:mimetype="application/vnd.oasis.opendocument.text"><office:body><office:text>
<text:p>)" + probes["flat.fodt"] + "</text:p>" + frames + R"(
<text:section text:name="linked"><text:section-source xlink:href=")" + secretUrl("txt") +
                                             R"(" xlink:type="simple" text:filter-name="Text"/>
<text:p>section as saved</text:p></text:section></office:text></office:body></office:document>
)");

    probes["page.html"] = "Probe body of the web page";
    std::string images;
    for (const std::string& kind : pictures) images += "<p>" + kind + ": <img src=\"" + secretUrl(kind) + "\"></p>";
    WriteSettledFile(in("page.html"), "<html><body><p>" + probes["page.html"] + "</p>" + images + "<p>web: <img src=\"" +
                                           webUrl + "\"></p><iframe src=\"" + secretUrl("txt") + "\"></iframe></body></html>");

    probes["rich.rtf"] = "Probe body of the rich text";
    std::string fields;
    for (const std::string& kind : pictures) {
      fields += kind + ": {\\field{\\*\\fldinst INCLUDEPICTURE \"" + secretUrl(kind) + "\" \\\\d }{\\fldrslt }}\\par ";
    }
    WriteSettledFile(in("rich.rtf"), "{\\rtf1\\ansi " + probes["rich.rtf"] + "\\par " + fields +
                                          "text: {\\field{\\*\\fldinst INCLUDETEXT \"" + secret("txt") +
                                          "\" }{\\fldrslt as saved}}\\par }");

    probes["word.docx"] = "Probe body of the Word document";
    WriteSettledFile(in("word.docx"), wordDocument(probes["word.docx"], webUrl));

    probes["files.ps"] = "Probe body of the PostScript";
    WriteSettledFile(in("files.ps"), "%!PS\n/Helvetica findfont 12 scalefont setfont /y 760 def\n"
                                     "/say { 72 y moveto show /y y 16 sub def } def\n(" + probes["files.ps"] + ") say\n"
                                     "{ " + psString(secret("txt")) + " (r) file 100 string readstring pop say } stopped pop\n"
                                     "{ " + psString(secret("ps")) + " run } stopped pop\n"
                                     "{ " + psString(secrets + "/*") + " { say } 200 string filenameforall } stopped pop\n"
                                     "showpage\n");
    // The interpreter may take the whole job down for this one: what counts is where it writes.
    WriteSettledFile(in("output.ps"), "%!PS\n<< /OutputFile " + psString(secrets + "/stolen.pdf") +
                                          " >> setpagedevice\n/Helvetica findfont 12 scalefont setfont 72 700 moveto "
                                          "(Probe body of the diverted output) show showpage\n");
    return probes;
  }

  // A Word document whose pictures, text and chunk all come from outside it.
  std::string wordDocument(const std::string& body, const std::string& webUrl) const {
    const std::string namespaces =
        R"(xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" )"
        R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" )"
        R"(xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing" )"
        R"(xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" )"
        R"(xmlns:pic="http://schemas.openxmlformats.org/drawingml/2006/picture")";
    const std::string relationship = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    std::string paragraphs = "<w:p><w:r><w:t>" + body + "</w:t></w:r></w:p>";
    std::string relationships;
    const std::vector<std::pair<std::string, std::string>> targets = {
        {"png", secretUrl("png")}, {"pdf", secretUrl("pdf")}, {"svg", secretUrl("svg")}, {"web", webUrl}};
    int id = 0;
    for (const auto& [kind, target] : targets) {
      ++id;
      paragraphs += "<w:p><w:r><w:t>" + kind + ": </w:t></w:r><w:r><w:drawing><wp:inline><wp:extent cx=\"1800000\" "
                    "cy=\"900000\"/><wp:docPr id=\"" + std::to_string(id) + "\" name=\"" + kind +
                    "\"/><a:graphic><a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\">"
                    "<pic:pic><pic:nvPicPr><pic:cNvPr id=\"" + std::to_string(id) + "\" name=\"" + kind +
                    "\"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:link=\"rIdPicture" + std::to_string(id) +
                    "\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/>"
                    "<a:ext cx=\"1800000\" cy=\"900000\"/></a:xfrm><a:prstGeom prst=\"rect\"/></pic:spPr></pic:pic>"
                    "</a:graphicData></a:graphic></wp:inline></w:drawing></w:r></w:p>";
      relationships += "<Relationship Id=\"rIdPicture" + std::to_string(id) + "\" Type=\"" + relationship +
                       "image\" Target=\"" + target + "\" TargetMode=\"External\"/>";
    }
    paragraphs += "<w:p><w:fldSimple w:instr=\" INCLUDETEXT &quot;" + secret("txt") +
                  "&quot; \"><w:r><w:t>text as saved</w:t></w:r></w:fldSimple></w:p>"
                  "<w:p><w:fldSimple w:instr=\" INCLUDEPICTURE &quot;" + secretUrl("png") +
                  "&quot; \\d \"><w:r><w:t>picture as saved</w:t></w:r></w:fldSimple></w:p><w:altChunk r:id=\"rIdChunk\"/>";
    relationships += "<Relationship Id=\"rIdChunk\" Type=\"" + relationship + "aFChunk\" Target=\"" + secretUrl("txt") +
                     "\" TargetMode=\"External\"/>";
    const std::string declaration = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)";
    const std::string packageRelationships = "http://schemas.openxmlformats.org/package/2006/relationships";
    const std::string parts = environment.path("word parts");
    std::filesystem::create_directories(parts + "/_rels");
    std::filesystem::create_directories(parts + "/word/_rels");
    WriteBytes(parts + "/[Content_Types].xml",
               declaration + R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
                             R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
                             R"(<Default Extension="xml" ContentType="application/xml"/><Override PartName="/word/document.xml" )"
                             R"(ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>)"
                             "</Types>");
    WriteBytes(parts + "/_rels/.rels", declaration + "<Relationships xmlns=\"" + packageRelationships +
                                           "\"><Relationship Id=\"rId1\" Type=\"" + relationship +
                                           "officeDocument\" Target=\"word/document.xml\"/></Relationships>");
    WriteBytes(parts + "/word/document.xml",
               declaration + "<w:document " + namespaces + "><w:body>" + paragraphs + "</w:body></w:document>");
    WriteBytes(parts + "/word/_rels/document.xml.rels",
               declaration + "<Relationships xmlns=\"" + packageRelationships + "\">" + relationships + "</Relationships>");
    // Each folder given goes into the archive under its own name.
    const std::string packed = environment.path("word.docx");
    EXPECT_EQ(RunProgram("/usr/bin/python3", {"-m", "zipfile", "-c", packed, parts + "/[Content_Types].xml",
                                              parts + "/_rels", parts + "/word"}),
              0);
    return ReadBytes(packed);
  }

  std::string secrets;
};

// What of the private files a file the program wrote shows: the private words in its bytes
// or its text, "ink" when a page of it shows the private pictures' colour.
std::vector<std::string> privateThingsIn(const std::string& file, const std::string& pagePrefix) {
  std::vector<std::string> found;
  const bool pdf = extensionOf(file) == "pdf";
  const std::string bytes = ReadBytes(file);
  const std::string text = pdf ? PdfText(file) : bytes;
  for (const auto& [kind, word] : kSecretWords) {
    if (bytes.find(word) != std::string::npos || text.find(word) != std::string::npos) found.push_back(word);
  }
  if (pdf && secretInk(file, pagePrefix) != 0) found.push_back("ink");
  return found;
}

// Each layer holds alone: the kernel's confinement, and where the kernel cannot confine
// (simulated), the office suite's settings for links with the interpreter's own file rules.
class LeakProbeLayers : public LeakProbeTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LeakProbeLayers, DroppedDocumentsGetNoPrivateFileIntoTheirPdfsOrLogsAndReachNoNetwork) {
  const bool confined = GetParam();
  if (!confined) environment.set("VELLUMDOCK_SIMULATE_NO_CONFINEMENT", "1");
  const std::string problem = worker::confinementProblem(VD_BUILD_HELPER_DIR "/vellumdk-gsworker");
  if (confined && !problem.empty()) GTEST_SKIP() << "The kernel cannot confine: " << problem;
  ASSERT_EQ(problem.empty(), confined) << problem;

  Listener web;
  const std::map<std::string, std::string> probes = writeProbes(web.webAddress("picture.png"));
  // The control: a document that carries a private picture and word in itself, which the
  // checks below must find in its PDF, so that finding nothing elsewhere is evidence.
  const QByteArray picture = QByteArray::fromStdString(ReadBytes(secret("png"))).toBase64();
  WriteSettledFile(in("control.fodt"), R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" office:version="1.3"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 office:mimetype="application/vnd.oasis.opendocument.text"><office:body><office:text><text:p>)" +
                                          kSecretWords.at("txt") + R"(</text:p><text:p><draw:frame draw:name="carried" )"
                                          R"(text:anchor-type="as-char" svg:width="4cm" svg:height="4cm"><draw:image>)"
                                          "<office:binary-data>" + picture.toStdString() +
                                          "</office:binary-data></draw:image></draw:frame></text:p>"
                                          "</office:text></office:body></office:document>\n");
  const std::vector<std::string> privateFiles = DirectoryEntries(secrets);
  runPasses(1);

  ASSERT_TRUE(FileExistsOnDisk(out("control.pdf"))) << ReadBytes(in("failed/control.fodt.error.txt"));
  EXPECT_EQ(privateThingsIn(out("control.pdf"), environment.path("page")),
            (std::vector<std::string>{kSecretWords.at("txt"), "ink"}));
  // Every probe converted (a link followed or waited for would have shown or failed it).
  for (const auto& [name, body] : probes) {
    SCOPED_TRACE(name);
    const std::string pdf = out(GetBaseName(name) + ".pdf");
    ASSERT_TRUE(FileExistsOnDisk(pdf)) << ReadBytes(in("failed/" + name + ".error.txt"));
    ExpectContainsAll(PdfText(pdf), {body});
  }
  // Nothing else the program wrote holds a private word; no page shows the private picture.
  for (const std::string& folder : {outputDir, inputDir}) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file() || GetBaseName(entry.path().filename().string()) == "control") continue;
      EXPECT_EQ(privateThingsIn(entry.path().string(), environment.path("page")), std::vector<std::string>{})
          << entry.path().string() << "\n" << (extensionOf(entry.path().string()) == "pdf" ? PdfText(entry.path().string()) : "");
    }
  }
  EXPECT_EQ(web.connections(), 0);
  EXPECT_EQ(DirectoryEntries(secrets), privateFiles);
}

INSTANTIATE_TEST_SUITE_P(Layers, LeakProbeLayers, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& layer) {
                           return layer.param ? "Confined" : "UnconfinedSettingsAlone";
                         });

}  // namespace
}  // namespace vd::test
