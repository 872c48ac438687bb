// One case per construct of the YARA-language subset: a rule, the bytes of a
// file (and its name, for the external variables) and whether the rule
// matches. Shared by the engine's own test and the differential test against
// libyara, which checks every expectation here with both engines.
#pragma once

#include <string>
#include <vector>

namespace zelk::scanner {

struct FeatureCase {
  std::string rule;
  std::string data;
  std::string filename;
  bool matches;
};

inline std::string Nul(const char* text, std::size_t n) { return std::string(text, n); }

inline std::vector<FeatureCase> FeatureCases() {
  const std::string gif = Nul("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13);
  const std::string wide_eval = Nul("e\0v\0a\0l\0(\0", 10);
  std::string exec_padding = "exec(0)";  // 100 atoms, the first of them a match
  while (exec_padding.size() < 500) exec_padding += " exec";
  exec_padding.resize(512, ' ');
  return {
      // Text strings and their modifiers.
      {R"(rule t { strings: $a = "eval(" condition: $a })", "<% eval(x) %>", "a.asp", true},
      {R"(rule t { strings: $a = "eval(" condition: $a })", "<% EVAL(x) %>", "a.asp", false},
      {R"(rule t { strings: $a = "eval(" nocase condition: $a })", "<% EvAl(x) %>", "a.asp", true},
      {R"(rule t { strings: $a = "eval(" wide condition: $a })", "eval(", "a.asp", false},
      {R"(rule t { strings: $a = "eval(" wide condition: $a })", wide_eval, "a.asp", true},
      {R"(rule t { strings: $a = "eval(" wide ascii condition: #a == 2 })", "eval(" + wide_eval,
       "a.asp", true},
      {R"(rule t { strings: $a = "EVAL(" wide nocase condition: $a })", wide_eval, "a.asp", true},
      {R"(rule t { strings: $a = "exec" fullword condition: $a })", "x.exec(1)", "a.asp", true},
      {R"(rule t { strings: $a = "exec" fullword condition: $a })", "execute(1)", "a.asp", false},
      {R"(rule t { strings: $a = "exec" fullword condition: $a })", "_exec_", "a.asp", true},
      {R"(rule t { strings: $a = "exec" fullword condition: $a })", "exec", "a.asp", true},
      {R"(rule t { strings: $a = "exec" fullword condition: $a })", "2exec", "a.asp", false},
      {R"(rule t { strings: $a = "a\"b\\c\x41\n" condition: $a })", "a\"b\\cA\n", "a.asp", true},
      {R"(rule t { strings: $a = "aa" condition: #a == 3 })", "aaaa", "a.asp", true},
      {R"(rule t { strings: $a = "x" condition: #a == 2 and @a[2] == 3 })", "abcxyx", "a.asp",
       false},
      {R"(rule t { strings: $a = "x" condition: #a == 2 and @a[2] == 5 and @a == 3 })", "abcxyx",
       "a.asp", true},
      {R"(rule t { strings: $a = "x" condition: @a[3] == 0 or not (@a[3] == 0) })", "x", "a.asp",
       false},
      {R"(rule t { strings: $a = "abc" condition: !a == 3 and !a[1] == 3 })", "abc", "a.asp", true},
      // Hex strings.
      {R"(rule t { strings: $h = { 47 49 46 38 } condition: $h at 0 })", gif, "a.gif", true},
      {R"(rule t { strings: $h = { 47 49 46 38 } condition: $h at 1 })", gif, "a.gif", false},
      {R"(rule t { strings: $h = { 3C 25 ?? 65 76 } condition: $h })", "<% ev", "a.asp", true},
      {R"(rule t { strings: $h = { 3C 25 [0-3] 65 76 61 6C } condition: $h })", "<%   eval",
       "a.asp", true},
      {R"(rule t { strings: $h = { 3C 25 [0-3] 65 76 61 6C } condition: $h })", "<%    eval",
       "a.asp", false},
      {R"(rule t { strings: $h = { 3C 25 [2] 65 } condition: $h })", "<%xye", "a.asp", true},
      {R"(rule t { strings: $h = { 3C 25 [1-] 65 } condition: $h })", "<%xxxxe", "a.asp", true},
      {R"(rule t { strings: $h = { 3C ( 25 | 3F 70 ) 20 } condition: $h })", "<?p ", "a.php", true},
      {R"(rule t { strings: $h = { 3C ( 25 | 3F 70 ) 20 } condition: $h })", "<?x ", "a.php",
       false},
      {R"(rule t { strings: $h = { 6? 76 } condition: $h })", "ev", "a.asp", true},
      {R"(rule t { strings: $h = { ?5 76 } condition: $h })", "ev", "a.asp", true},
      {R"(rule t { strings: $h = { ?5 76 } condition: $h })", "fv", "a.asp", false},
      {R"(rule t { strings: $h = { 00 01 // bytes
            02 } condition: $h })",
       Nul("\0\1\2", 3), "a.bin", true},
      // Regular expressions.
      {R"(rule t { strings: $r = /eval\s*\(\s*\$_(POST|GET)\[/ condition: $r })",
       "<?php eval ( $_POST['x']);", "a.php", true},
      {R"(rule t { strings: $r = /eval\s*\(\s*\$_(POST|GET)\[/ condition: $r })",
       "<?php eval($_COOKIE['x']);", "a.php", false},
      {R"(rule t { strings: $r = /EVAL\(/i condition: $r })", "eval(", "a.php", true},
      {R"(rule t { strings: $r = /EVAL\(/ nocase condition: $r })", "eval(", "a.php", true},
      {R"(rule t { strings: $r = /a.b/ condition: $r })", "a\nb", "a.php", false},
      {R"(rule t { strings: $r = /a.b/s condition: $r })", "a\nb", "a.php", true},
      {R"(rule t { strings: $r = /ab{,2}c/ condition: $r })", "abbc", "a.php", true},
      {R"(rule t { strings: $r = /a+/ condition: #r == 3 })", "aaa", "a.php", true},
      {R"(rule t { strings: $r = /^<\?php/ condition: $r })", "x<?php", "a.php", false},
      {R"(rule t { strings: $r = /^<\?php/ condition: $r })", "<?php", "a.php", true},
      {R"(rule t { strings: $r = /assert|eval/ condition: $r })", "assert(", "a.php", true},
      // Only files holding a literal every match must contain are searched:
      // a group that may be skipped or a short alternative gives no such
      // literal, and a file without one is still searched.
      {R"(rule t { strings: $r = /\b(system|exec)\s*\(/ condition: $r })", "x=exec (1)", "a.php",
       true},
      {R"(rule t { strings: $r = /\b(system|exec)\s*\(/ condition: $r })", "execute(1)", "a.php",
       false},
      {R"(rule t { strings: $r = /(shell|cmd)?_exec\(/ condition: $r })", "_exec(1)", "a.php",
       true},
      // A match that opens with an atom is tried at each atom (looking back
      // for "\b"), or, past a few dozen atoms, searched for from the first.
      {R"(rule t { strings: $r = /\bexec\(/ condition: $r })", "xexec(1)", "a.php", false},
      {R"(rule t { strings: $r = /\b(exec|system)\(/ condition: #r == 2 and @r[2] == 512 })",
       exec_padding + "exec(1)", "a.php", true},
      {R"(rule t { strings: $r = /(system|exec)\s*\(/i condition: #r == 2 })",
       "exec; xSYSTEM (1); exec(2)", "a.php", true},
      {R"(rule t { strings: $r = /\bexec\w*\(/ condition: @r[1] == 11 })", "EXEC(1); q;execute(2)",
       "a.php", true},
      {R"(rule t { strings: $r = /x(ab|cd){0,2}yz/ condition: $r })", "xyz", "a.php", true},
      {R"(rule t { strings: $r = /(ev|a)l+\(/ condition: $r })", "al(", "a.php", true},
      {R"(rule t { strings: $r = /(foo(ba|q)r|zz[0-9])!/ condition: $r })", "fooqr!", "a.php",
       true},
      {R"(rule t { strings: $r = /(foo(ba|q)r|zz[0-9])!/ condition: $r })", "zz7!", "a.php", true},
      {R"(rule t { strings: $r = /sys\w+/ fullword condition: $r })", "x.system(", "a.php", true},
      {R"(rule t { strings: $r = /sys\w+/ fullword condition: $r })", "asystem(", "a.php", false},
      {R"(rule t { strings: $r = /[^a-z]exec\(/ condition: $r })", "(exec(", "a.php", true},
      {R"(rule t { strings: $r = /ev(a)?l/ condition: $r })", "evl", "a.php", true},
      // Conditions: sets, counts, positions, arithmetic.
      {R"(rule t { strings: $a1 = "x" $a2 = "y" $b = "z" condition: 2 of ($a*) and #b < 5 })", "xy",
       "a.php", true},
      {R"(rule t { strings: $a1 = "x" $a2 = "y" $b = "z" condition: 2 of ($a*) and #b < 5 })", "xz",
       "a.php", false},
      {R"(rule t { strings: $a1 = "x" $a2 = "y" $b = "z" condition: all of them })", "xyz", "a.php",
       true},
      {R"(rule t { strings: $a1 = "x" $a2 = "y" $b = "z" condition: any of ($b, $a2) and not $a1 })",
       "y", "a.php", true},
      {R"(rule t { strings: $a = "x" $ = "q" condition: any of them })", "q", "a.php", true},
      {R"(rule t { strings: $a = "x" condition: $a in (2..4) })", "0x", "a.php", false},
      {R"(rule t { strings: $a = "x" condition: $a in (2..4) })", "01x", "a.php", true},
      {R"(rule t { strings: $a = "x" condition: #a in (0..2) == 2 })", "xxxx", "a.php", false},
      {R"(rule t { strings: $a = "x" condition: #a in (0..2) == 3 })", "xxxx", "a.php", true},
      {R"(rule t { condition: filesize == 5 })", "12345", "a.php", true},
      {R"(rule t { condition: filesize < 1KB and filesize * 2 \ 2 == 5 and 7 % 4 == 3 })", "12345",
       "a.php", true},
      {R"(rule t { condition: (1 << 4 | 3) ^ 1 == 18 and ~0 == -1 and 0x10 == 16 })", "", "a.php",
       true},
      {R"(rule t { condition: uint8(0) == 0x47 and uint16(0) == 0x4947 and uint32be(0) == 0x47494638 })",
       gif, "a.gif", true},
      {R"(rule t { condition: uint32(0) == 0x38464947 and uint16be(2) == 0x4638 })", gif, "a.gif",
       true},
      {R"(rule t { condition: int8(10) == -128 })", gif, "a.gif", true},
      {R"(rule t { condition: uint32(10) == 0 or not (uint32(10) == 0) })", gif, "a.gif", false},
      {R"(rule t { condition: filesize \ (filesize - 5) == 1 or filesize == 5 })", "12345", "a.php",
       true},
      {R"(rule t { condition: filesize % (filesize - 5) == 0 })", "12345", "a.php", false},
      {R"(rule t { condition: not false and (false or true) })", "", "a.php", true},
      // External variables.
      {R"(rule t { condition: filename == "x.asp;.jpg" })", "", "x.asp;.jpg", true},
      {R"(rule t { condition: extension == "jpg" and filename contains ".asp;" })", "",
       "x.asp;.jpg", true},
      {R"(rule t { condition: filepath startswith "/site/" and filepath endswith ".php" })", "",
       "a.php", true},
      {R"(rule t { condition: filename icontains "SHELL" and filename iendswith ".PHP" })", "",
       "myshell.php", true},
      {R"(rule t { condition: filename istartswith "MY" and filename iequals "MYSHELL.php" })", "",
       "myshell.php", true},
      {R"(rule t { condition: filename matches /\.(asp|php);/ })", "", "x.asp;.jpg", true},
      {R"(rule t { condition: filename matches /\.(asp|php);/ })", "", "x.jpg", false},
      {R"(rule t { condition: filetype == "GIF" })", gif, "a.gif", true},
      {R"(rule t { condition: filetype == "GIF" })", "<?php", "a.gif", false},
      {R"(rule t { condition: owner == "www-data" and filename != "b.php" })", "", "a.php", true},
      // Rule references.
      {R"(private rule p { strings: $a = "<?" condition: $a } rule t { condition: p })", "<?php",
       "a.php", true},
      {R"(private rule p { strings: $a = "<?" condition: $a } rule t { condition: not p })",
       "<?php", "a.php", false},
  };
}

}  // namespace zelk::scanner
