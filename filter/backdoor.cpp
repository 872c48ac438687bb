#include "filter/backdoor.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "filter/decode.h"
#include "filter/patterns.h"
#include "platform/text.h"

namespace zelk::filter {
namespace {

// ---------------------------------------------------------------------------
// File names

bool IsRefusedName(std::string_view name) {
  name = StripFileSystemTrailers(name);
  for (std::string_view config : {".htaccess", ".user.ini", "web.config", "php.ini"}) {
    if (EqualsIgnoreAsciiCase(name, config)) return true;
  }
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view ext = name.substr(dot + 1);
  if (ext.empty()) return false;
  std::string_view list = kServerScriptExtensions;
  while (!list.empty()) {
    const std::size_t bar = list.find('|');
    if (EqualsIgnoreAsciiCase(list.substr(0, bar), ext)) return true;
    if (bar == std::string_view::npos) break;
    list.remove_prefix(bar + 1);
  }
  return false;
}

}  // namespace

bool IsServerScriptFileName(std::string_view file_name) {
  const std::size_t sep = FindLastGbkSeparator(file_name, "/\\");
  std::string_view name = sep == std::string_view::npos ? file_name : file_name.substr(sep + 1);
  // "C:shell.asp" names shell.asp in the current folder of drive C.
  if (name.size() >= 2 && name[1] == ':' &&
      ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
    name.remove_prefix(2);
  }
  // ';' and ':' are below 0x40, so never the second byte of a GBK character.
  // The file system stores the name up to a ':' (what follows names a stream);
  // IIS 6 maps it up to a ';'.
  const std::string_view stored = name.substr(0, name.find(':'));
  const std::string_view mapped = stored.substr(0, stored.find(';'));
  return IsRefusedName(mapped) || IsRefusedName(stored);
}

// ---------------------------------------------------------------------------
// Content

namespace {

// The code shapes, one alternative each, searched in the stretches of code
// (see ScanText). Compiled caseless and in extended mode: blanks are ignored,
// '#' starts a comment, "\#" and "[ ]" are literal.
//
// Rules for editing:
//  - Every gap of arbitrary bytes is bounded ({0,N}), so a shape costs little
//    where it fails and is a few hundred bytes long at most; only runs of
//    blanks (\s*) are not, which is what kBackdoorOverlap is about.
//  - An alternative ends with something it consumes, never with \b, $ or a
//    lookahead: a shape that matches the start of a block's bytes must still
//    match when more bytes follow, or the verdict on a block in progress could
//    differ from the verdict on the whole block.
//  - Each shape needs two things together, a dangerous call and what makes it
//    a back door (request input, a decoder, a command interpreter); benign
//    applications use every one of these calls on its own.
//  - Each shape contains one of kTriggerWords (or a '$' variable, an escape,
//    a quoted piece); a new shape with none of them needs a new trigger word,
//    or it is never searched. The sample table in backdoor_test.cpp has one
//    sample per shape to catch that.
constexpr char kPatternText[] = R"pcre((?x)
(?(DEFINE)
  # PHP request input.
  # (Superglobal names in capitals only, as PHP reads them: "$_file" is a
  # local variable.)
  (?<php_in> \$_(?-i:GET|POST|REQUEST|COOKIE|FILES?
                | SERVER\s*\[\s*['"](?:HTTP_|QUERY_STRING|REQUEST_URI|PATH_INFO|REMOTE_ADDR))
           | getenv\s*\(\s*['"]HTTP_
           | \$HTTP_(?:GET|POST|COOKIE)_VARS | \$HTTP_RAW_POST_DATA
           | \$GLOBALS\s*\[\s*['"]_(?:GET|POST|REQUEST|COOKIE)
           | php://input | getallheaders\s*\( )
  # Functions that turn a packed text back into code.
  (?<php_unpack> gzinflate|gzuncompress|gzdecode|base64_decode|str_rot13|strrev|convert_uudecode
               | hex2bin|rawurldecode|urldecode|pack )
  # ASP and ASP.NET request input.
  (?<asp_in> request\s*(?:\(|\[|\.\s*(?:item|form|querystring|cookies|servervariables
                                        |binaryread|params|headers|inputstream))
           | session\s*\( )
  # JSP request input.
  (?<jsp_in> request\s*\.\s*(?:getParameter|getHeader|getInputStream|getReader|getQueryString) )
)
# ---- PHP -------------------------------------------------------------------
# Code or a command from the request: eval($_POST[x]), system($_GET['c']),
# include($_REQUEST[f]), assert(base64_decode($_POST[z])).
  (?<![\w$>:\\])
  (?:eval|assert|system|exec|shell_exec|passthru|popen|proc_open|pcntl_exec|create_function)
  \s*\([^;{}]{0,160}?(?&php_in)
| (?<![\w$>:\\]) (?:include|require)(?:_once)? \s*\(?\s*@?\s*(?:\w{1,40}\s*\(\s*)?(?&php_in)
# A callback taken from the request: call_user_func($_GET[f], ...),
# array_map($_POST['f'], ...).
| (?<![\w$>:\\])
  (?:call_user_func(?:_array)?|array_map|usort|uasort|uksort|register_shutdown_function
    |register_tick_function|forward_static_call(?:_array)?|iterator_apply|ob_start)
  \s*\(\s*@?\s*(?&php_in)
| (?<![\w$>:\\]) (?:array_filter|array_walk|array_reduce|preg_replace_callback)
  \s*\([^,;]{1,120},\s*@?\s*(?&php_in)
# Code that is unpacked and run: eval(gzinflate(base64_decode('...'))),
# eval(xxtea_decrypt(base64_decode($s), "k")),
# eval("?>".gzuncompress(...)), eval($decode('...')), eval(x("7b1pe+M2s...")),
# eval(${$v}['k']).
| (?<![\w$>:\\]) (?:eval|assert) \s*\(\s*@?\s*
  (?: (?:"[^"]{0,8}"|'[^']{0,8}')\s*\.\s*)?
  (?: (?:\w{1,40}\s*\(\s*)?(?&php_unpack)\s*\(
    | \(?\s*\$+\{?\s*\$?\w{1,40}\s*\}?\s*\(
    | \w{1,40}\s*\(\s*['"][\w+/=\\]{60}
    | \$\{ )
# create_function with a body that runs code.
| create_function\s*\(\s*['"][^'"]{0,80}['"]\s*,\s*['"][^'"]{0,80}?(?:eval|assert|system|exec)\s*\(
# A variable set from the request, or fetched from another site, and run:
# $c = $_GET['c']; ... system($c);  $b = file_get_contents("http://..."); eval($b);
| \$(?<var>\w{1,40}+)\s*=\s*@?\s*(?:\w{1,40}\s*\(\s*)?
  (?:(?&php_in)|file_get_contents\s*\(\s*['"](?:https?|ftp)://).{0,400}?(?<![\w$>:\\])
  (?:eval|assert|system|exec|shell_exec|passthru|popen|proc_open|pcntl_exec)
  \s*\(\s*@?\s*\$\k<var>\s*[,)."'\s;]
# A command that only an intruder runs: system("uname -a"), exec('pwd').
| (?<![\w$>:\\]) (?:system|exec|shell_exec|passthru|popen|proc_open)\s*\(\s*['"]\s*
  (?:uname|id|pwd|whoami|ls|dir|netstat|ifconfig|ipconfig|net\s+user|cat\s+/etc|ps\s+-?aux
    |wget|curl|perl|python|nc|bash|sh|/bin/|cmd|killall|ln\s+-s)[\s'"]
# A callback named in a string: array_map('assert', ...), ob_start('assert'),
# new ReflectionFunction("system").
| (?:uasort|usort|uksort|array_map|array_filter|array_walk|array_udiff|call_user_func(?:_array)?
    |register_shutdown_function|ob_start|filter_var|iterator_apply|preg_replace_callback
    |ReflectionFunction)
  \s*\([^;]{0,80}?['"](?:assert|eval|system|passthru|exec|shell_exec|ass\\x65rt)['"]
# preg_replace, preg_filter and mb_ereg_replace with the /e modifier: the
# replacement runs as code.
| preg_(?:replace|filter)\s*\(\s*(?<q>['"])\s*(?<d>[^\w\s\\'"])[^'"]{0,200}?\k<d>[a-z]{0,8}e[a-z]{0,8}\k<q>
| mb_ereg_replace\s*\([^;]{0,200}?,\s*['"][a-z]{0,6}e[a-z]{0,6}['"]\s*\)
# Callbacks that only back doors hand request input or decoded names to:
# uasort($arr, base64_decode($e)), array_diff_ukey(..., $_REQUEST['login']).
| (?:u[ak]?sort|array_(?:diff|intersect)_u(?:key|assoc)|array_u(?:diff|intersect)(?:_u?assoc)?
    |register_(?:shutdown|tick)_function)
  \s*\([^;]{0,120}?(?:(?&php_in)|(?&php_unpack)\s*\(\s*\$)
# Code kept as hexadecimal: pack("H*", "3c3f...") is "<?", "406576616c" "@eval".
| pack\s*\(\s*['"]H\*['"]\s*,\s*['"](?:3c3f|3c25|40?6576616c|617373657274|73797374656d)
# Files read or written as the request says: file_get_contents($_POST['path']),
# fwrite($fp, $_POST['text']).
| (?<![\w$>:\\]) (?:file_get_contents|readfile|highlight_file|show_source)\s*\(\s*(?&php_in)
| (?<![\w$>:\\]) (?:fwrite|fputs|file_put_contents)\s*\([^,;]{1,100},\s*(?&php_in)
# A PHP file made from an upload or fetched from another site.
| move_uploaded_file\s*\([^;]{0,120}?['"][^'"]{0,60}\.ph(?:p\d?|tml)['"]\s*\)
| copy\s*\(\s*['"](?:https?|ftp)://[^;]{0,200}?\.ph(?:p\d?|tml)['"]\s*\)
# Request input unpacked into variables, then a variable called as a function.
| extract\s*\(\s*(?&php_in).{0,200}?\$\w{1,40}\s*\(\s*\$
# Names hidden from a reader: str_rot13('onfr64_qrpbqr'), strrev('edoced_46esab').
| str_rot13\s*\(\s*['"](?:onfr64_qrpbqr|riny|nffreg|tmvasyngr|flfgrz|perngr_shapgvba)
| strrev\s*\(\s*['"](?:edoced_46esab|lave|tressa|etalfnizg|metsys|noitcnuf_etaerc)
# Names built from pieces: 'e'.'v'.'a'.'l', $s[94].$s[24]..., $v{18}.$v{19}...,
# chr(101).chr(118)... (letters only: a PNG signature built with chr() is not one)
# (two-digit positions: a colour's "$c[1].$c[1].$c[2]" is not one)
| (?:['"]\w{1,4}['"]\s*\.\s*){3}['"]\w{1,4}['"]
| (?:(?:chr|\$\w{1,20})\s*\(\s*(?:3[2-9]|[4-9]\d|1[01]\d|12[0-6])\s*\)\s*\.\s*){5}
| (?:\$\w{1,20}(?:\[\d{2,3}\]|\{\d{2,3}\})\s*\.\s*){5}\$\w{1,20}(?:\[\d{2,3}\]|\{\d{2,3}\})
# Well-known shell families.
| c99sh(?:ell|_) | r57shell | FilesMan | b374k
# The request value called as a function: $_POST['a']($_POST['b']), $a($_GET[c]),
# $a['k']($_POST['x']), ${'_'.$_}['_'](${'_'.$_}['__']).
| (?&php_in)\s*\[[^\]]{1,40}\]\s*\(
| \$\{?\w{1,40}\}?\s*\(\s*@?\s*(?&php_in)
| \]\s*\(\s*@?\s*(?&php_in)
| \}\s*\[[^\]]{1,40}\]\s*\(\s*\$\{
# A command in backquotes from the request: `$_GET[c]`.
| `\s*(?&php_in)
# Names spelled in escapes, as PHP obfuscators write them: ${"\x47\x4c..."},
# "\x62\141\163\x65\x36\64..." (hexadecimal and octal mixed).
| \$\{\s*["']\\x[0-9a-f]{2}
| (?:\\x[0-9a-f]{2}\\[0-7]{2,3}|\\[0-7]{2,3}\\x[0-9a-f]{2})(?:\\x[0-9a-f]{2}|\\[0-7]{2,3}){4}
# Function names assembled by removing filler: str_replace('et','','cetreetate_...').
| str_replace\s*\(\s*(?<sq>['"])(?<junk>[^'"]{1,8})\k<sq>\s*,\s*(?:''|"")\s*,\s*['"]
  (?:\k<junk>)*c(?:\k<junk>)*r(?:\k<junk>)*e(?:\k<junk>)*a(?:\k<junk>)*t(?:\k<junk>)*e
  (?:\k<junk>)*_(?:\k<junk>)*f
# PHP code written out as base64 ("<?php" encodes as "PD9waHA").
| ['"]PD9waHA
# ---- ASP and ASP.NET --------------------------------------------------------
# eval request("x"), Execute(Request.Form("a")), eval(Request.Item["p"],"unsafe"),
# with up to three wrapping calls (decoders).
| (?<![\w.])(?:eval|execute|executeglobal)\s*\(?\s*(?:\w{1,40}\s*\(\s*){0,3}
  (?:\w{1,40}\s*\.\s*){0,3}(?&asp_in)
# A variable set from the request and run: a=request("v") ... eval a.
| (?<![\w.])(?<avar>\w{1,40}+)\s*=\s*(?:\w{1,40}\s*\(\s*)?(?&asp_in).{0,400}?(?<![\w.])
  (?:eval|execute|executeglobal)\s*\(?\s*\k<avar>[\s)%:'"]
# Code built from characters or pieces: eval(chr(114)+chr(101)...),
# execute(d(6)&d(10)&...), eval("e"&"v"&"a"&"l"&...), strings reversed
# ("tseuqer lave").
| (?<![\w.])(?:eval|execute|executeglobal)\s*\(?\s*(?:eval\s*\(?\s*)?\(?\s*chrw?\s*\(\s*\d{2,3}\s*\)\s*[&+]
| (?<![\w.])(?:eval|execute|executeglobal)\s*\(?\s*(?:\w{1,10}\s*\(\s*\d{1,3}\s*\)\s*&\s*){4}
| (?<![\w.])(?:execute|executeglobal)\s*\(?\s*\w{0,20}(?:decode|unencode|decrypt|unescape|reverse)\w{0,20}
  \s*\(\s*\w{1,40}\s*\)
| (?:"[^"\r\n]{1,2}"\s*&\s*){6}
| tseuqer | etucexe
# JScript: eval handed over as a value ({'E' : eval}), or with the second
# argument ("unsafe") that only JScript.NET's eval takes.
| [:=]\s*eval\s*[},;]
| (?<![\w.])eval\s*\([^;]{1,120}?,\s*["']unsafe["']
| (?<![\w.])eval\s*\(\s*\w{1,40}\s*,
# Files written where and with what the request says: s.writetext request("d"),
# CreateTextFile(request("p")), Request.Files[0].SaveAs(Server.MapPath(Request["f"])),
# new StreamWriter(request.form("path")). Response.Write and an upload's
# Request.BinaryRead are not.
| (?<!response)\.\s*(?:write|writetext|writeline)\s*\(?\s*request\s*(?:\(|\[|\.\s*(?:form|querystring|item))
| (?:createtextfile|opentextfile|savetofile|saveas)\s*\(?\s*(?:server\s*\.\s*mappath\s*\(\s*)?(?&asp_in)
| new\s+(?:System\.IO\.)?StreamWriter\s*\(\s*(?&asp_in)
# ASP.NET starting processes; MSScriptControl running statements.
| new\s+(?:System\.Diagnostics\.)?(?:Process\s*\(\s*\)|ProcessStartInfo\s*\()
| (?<![\w.])Process\s*\.\s*Start\s*\(
| \.\s*executestatement\s*\(
# VBScript encoded by the script encoder: <%#@~^XXXXXX==.
| \#@~\^[\w+/]{6}==
# UTF-7 pages: the code that follows is unreadable to every filter.
| <%@\s*codepage\s*=\s*65000
# ScriptControl running request input.
| \.\s*addcode\s*\(\s*(?&asp_in)
# A command shell object.
| (?:createobject|ActiveXObject)\s*\(\s*["'](?:wscript\.shell|shell\.application)["']
# Assemblies loaded from the request (ASP.NET).
| assembly\s*\.\s*load\s*\([^;]{0,200}?(?&asp_in)
# ---- JSP -------------------------------------------------------------------
| getRuntime\s*\(\s*\)\s*\.\s*exec\s*\(
| new\s+ProcessBuilder\s*\(
| getRuntime\s*\(\s*\)\s*;.{0,400}?\.\s*exec\s*\(
| \.\s*exec\s*\(\s*(?&jsp_in)
| new\s+(?:java\.io\.)?(?:FileOutputStream|RandomAccessFile|FileWriter)\s*\(\s*
  (?:application\s*\.\s*getRealPath\s*\([^)]{0,40}\)\s*\+\s*(?:"[^"]{0,8}"\s*\+\s*)?)?(?&jsp_in)
| extends\s+ClassLoader
| \.\s*defineClass\s*\(
)pcre";

const Pattern& CompiledPattern() {
  static const Pattern pattern = Pattern::Compile(kPatternText);
  return pattern;
}

bool StartsWithAt(std::string_view text, std::size_t at, std::string_view prefix) {
  return at <= text.size() && StartsWithIgnoreAsciiCase(text.substr(at), prefix);
}

// A server-script opener at text[at] (which is '<'): "<%", "<?", "<jsp:", or a
// "<script" tag that names runat or php within its first 256 bytes (a browser's
// "<script>" is not one).
bool IsOpenerAt(std::string_view text, std::size_t at) {
  if (at + 1 >= text.size()) return false;
  const char next = text[at + 1];
  if (next == '%' || next == '?') return true;
  if (StartsWithAt(text, at + 1, "jsp:")) return true;
  if (StartsWithAt(text, at + 1, "script")) {
    const std::string_view tag = text.substr(at, 256);
    const std::string_view head = tag.substr(0, tag.find('>'));
    return ContainsIgnoreAsciiCase(head, "runat") || ContainsIgnoreAsciiCase(head, "php");
  }
  return false;
}

std::size_t NextOpener(std::string_view text, std::size_t from) {
  while (from < text.size()) {
    const void* lt = std::memchr(text.data() + from, '<', text.size() - from);
    if (lt == nullptr) return std::string_view::npos;
    const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lt) - text.data());
    if (IsOpenerAt(text, at)) return at;
    from = at + 1;
  }
  return std::string_view::npos;
}

// Bytes that occur in script source: everything but the C0 controls other
// than tab, line feed, vertical tab, form feed and carriage return, and DEL.
// Random data has one of the others about every twelve bytes, so the "code"
// after a chance opener in an image or archive ends almost at once.
struct TextBytes {
  bool is_text[256];
  constexpr TextBytes() : is_text() {
    for (int c = 0; c < 256; ++c) is_text[c] = (c >= 0x20 && c != 0x7F) || (c >= 0x09 && c <= 0x0D);
  }
};
constexpr TextBytes kTextBytes;

// A control byte ends a stretch of code unless it stands alone: script files
// carry the odd control character in a string, random data has the next one
// a dozen bytes on. One is alone when none of the kControlGap bytes after it
// is another; near the end of the text, where those bytes are not there yet,
// it ends the stretch, so that more input can only lengthen a stretch.
constexpr std::size_t kControlGap = 16;

bool EndsStretch(std::string_view text, std::size_t at) {
  if (at + kControlGap >= text.size()) return true;
  for (std::size_t i = at + 1; i <= at + kControlGap; ++i) {
    if (!kTextBytes.is_text[static_cast<unsigned char>(text[i])]) return true;
  }
  return false;
}

// Words that every code shape above contains one of (ASCII letters compared
// without case), looked for before the shapes are: a stretch without any of
// them (most XML, SVG and other text after "<?xml") is passed without running
// the shapes, which cost far more per byte. Besides the words, these count:
// '$' before a name or '{' (PHP variables), '\' before 'x' or a digit (escaped
// names), and a quoted piece of one to four word characters followed by '.'
// or '&' (names built from pieces). Keep this in step with the shapes: a
// shape that contains none of these would never be searched.
constexpr std::string_view kTriggerWords[] = {"php://",
                                              "getallheaders",
                                              "getenv",
                                              "file_get_contents",
                                              "eval",
                                              "assert",
                                              "ass\\x65rt",
                                              "create_function",
                                              "system",
                                              "exec",
                                              "passthru",
                                              "popen",
                                              "proc_open",
                                              "gzinflate",
                                              "gzuncompress",
                                              "gzdecode",
                                              "base64_decode",
                                              "str_rot13",
                                              "strrev",
                                              "convert_uudecode",
                                              "hex2bin",
                                              "urldecode",
                                              "pack",
                                              "move_uploaded_file",
                                              "copy",
                                              "preg_",
                                              "mb_ereg_replace",
                                              "str_replace",
                                              "c99sh",
                                              "r57shell",
                                              "filesman",
                                              "b374k",
                                              "pd9waha",
                                              "chr",
                                              "request",
                                              "session",
                                              "tseuqer",
                                              "etucexe",
                                              "unsafe",
                                              "process",
                                              "#@~^",
                                              "codepage",
                                              "createobject",
                                              "activexobject",
                                              "getruntime",
                                              "classloader",
                                              "defineclass"};

bool IsWordByte(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// For each byte, the trigger words that start with it (either letter case).
struct TriggerIndex {
  std::vector<std::string_view> by_first[256];
  TriggerIndex() {
    for (std::string_view word : kTriggerWords) {
      const unsigned char c = static_cast<unsigned char>(word[0]);
      by_first[c].push_back(word);
      if (c >= 'a' && c <= 'z') by_first[c - 'a' + 'A'].push_back(word);
    }
  }
};

bool QuotedPieceJoined(std::string_view text, std::size_t at) {
  const char quote = text[at];
  std::size_t i = at + 1;
  while (i < text.size() && i - at <= 4 && IsWordByte(static_cast<unsigned char>(text[i]))) ++i;
  if (i == at + 1 || i >= text.size() || text[i] != quote) return false;
  ++i;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  return i < text.size() && (text[i] == '.' || text[i] == '&');
}

bool HasTrigger(std::string_view text) {
  static const TriggerIndex index;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    switch (c) {
      case '$':
        if (next == '{' || (IsWordByte(next) && !(next >= '0' && next <= '9'))) return true;
        break;
      case '\\':
        if (next == 'x' || next == 'X' || (next >= '0' && next <= '9')) return true;
        break;
      case '\'':
      case '"':
        if (QuotedPieceJoined(text, i)) return true;
        break;
      default:
        break;
    }
    for (std::string_view word : index.by_first[c]) {
      if (StartsWithIgnoreAsciiCase(text.substr(i), word)) return true;
    }
  }
  return false;
}

// Searches the stretches of code in text: each begins at a script opener (or
// at text[0] when starts_in_code) and runs over text bytes to the next control
// byte that does not stand alone. A stretch is searched whole, once, so a text file with many
// openers is still read once. *next_in_code (when given) tells whether text[next_start] lies inside
// a stretch, which the next block then continues.
bool ScanText(std::string_view text, bool starts_in_code, std::size_t next_start,
              bool* next_in_code) {
  const Pattern& pattern = CompiledPattern();
  if (next_in_code != nullptr) *next_in_code = false;
  std::size_t from = 0;
  bool first = true;
  for (;;) {
    const std::size_t begin = first && starts_in_code ? 0 : NextOpener(text, from);
    first = false;
    if (begin == std::string_view::npos) return false;
    std::size_t end = begin;
    while (end < text.size() &&
           (kTextBytes.is_text[static_cast<unsigned char>(text[end])] || !EndsStretch(text, end))) {
      ++end;
    }
    if (next_in_code != nullptr && begin <= next_start && next_start < end) *next_in_code = true;
    const std::string_view stretch = text.substr(begin, end - begin);
    if (HasTrigger(stretch) && MatchPattern(pattern, stretch)) return true;
    from = end + 1;
  }
}

}  // namespace

std::string_view BackdoorPatternText() { return kPatternText; }

BackdoorScanner::BackdoorScanner() { buffer_.reserve(kBackdoorOverlap + kBackdoorBlockSize); }

void BackdoorScanner::Feed(std::string_view bytes) {
  fed_ += bytes.size();
  while (!bytes.empty() && !found_) {
    const std::size_t room = kBackdoorBlockSize - (buffer_.size() - overlap_);
    const std::size_t n = std::min(room, bytes.size());
    buffer_.append(bytes.data(), n);
    bytes.remove_prefix(n);
    if (n == room) {  // the block is complete
      found_ = ScanText(buffer_, in_code_, buffer_.size() - kBackdoorOverlap, &in_code_);
      buffer_.erase(0, buffer_.size() - kBackdoorOverlap);
      overlap_ = buffer_.size();
    }
  }
  if (found_) {  // nothing after this is read
    buffer_.clear();
    buffer_.shrink_to_fit();
    overlap_ = 0;
  }
}

bool BackdoorScanner::found() const {
  if (found_) return true;
  if (checked_at_ != fed_) {
    partial_found_ = buffer_.size() > overlap_ && ScanText(buffer_, in_code_, 0, nullptr);
    checked_at_ = fed_;
  }
  return partial_found_;
}

}  // namespace zelk::filter
