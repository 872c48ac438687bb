// The three built-in injection patterns, measured the way the filter uses
// them: a value is put into a query string (or a Cookie header) as a browser
// would send it, decoded once by DecodeQueryText, and matched.
//
// The tuning corpus lives outside the repository (ZELK_CORPUS_DIR); the
// floors below are what the built-in texts promise on it.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "filter/decode.h"
#include "filter/pattern_gate.h"
#include "filter/patterns.h"
#include "filter/patterns/corpus_harness.h"

#ifndef ZELK_CORPUS_DIR
#error "ZELK_CORPUS_DIR must name the SQL-injection tuning corpus"
#endif
#ifndef ZELK_SOURCE_DIR
#error "ZELK_SOURCE_DIR must name the repository root"
#endif

namespace zelk::filter {
namespace {

constexpr std::size_t kTextLimit = 2048;

using corpus::AsCookie;
using corpus::AsQuery;
using corpus::Encoding;
using corpus::ReadFile;
using corpus::SplitLines;

// The .pcre file holds the text followed by one line feed; form "fast" is
// the text<n>.fast.pcre the filter compiles.
std::string PatternFileText(int number, const std::string& form = "") {
  const std::string path = std::string(ZELK_SOURCE_DIR) + "/filter/patterns/text" +
                           std::to_string(number) + (form.empty() ? "" : "." + form) + ".pcre";
  std::string data;
  EXPECT_TRUE(ReadFile(path, &data)) << "cannot read " << path;
  EXPECT_FALSE(data.empty()) << path;
  if (!data.empty()) {
    EXPECT_EQ(data.back(), '\n') << path << " must end with one line feed";
    if (data.back() == '\n') data.pop_back();
  }
  return data;
}

Pattern CompileBuiltin(int number, bool use_jit = true, MatchLimits limits = {}) {
  Pattern p = Pattern::CompileBuiltin(number, use_jit, limits);
  EXPECT_TRUE(p.ok()) << "text " << number << ": " << p.error();
  return p;
}

// The text itself, not its fast form, matching every subject with PCRE alone,
// as it would without the quick test in front (which a value passes by
// holding one quote byte).
Pattern CompileUngated(int number, bool use_jit = true, MatchLimits limits = {}) {
  Pattern p = Pattern::Compile(BuiltinPatternText(number), use_jit, limits, number != 3);
  EXPECT_TRUE(p.ok()) << "text " << number << ": " << p.error();
  return p;
}

TEST(BuiltinPatternTexts, MatchTheirReviewFilesFitTheBufferAndCompile) {
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE("text " + std::to_string(n));
    const std::string file_text = PatternFileText(n);
    const std::string builtin = BuiltinPatternText(n);
    EXPECT_EQ(builtin, file_text) << "rerun scripts/scramble-patterns.py";
    // The module keeps each text in a 2048-byte buffer with its NUL.
    EXPECT_LT(file_text.size(), kTextLimit);
    // The settings reader and Compile both treat the text as a C string and
    // one line; a stray NUL or line break would silently shorten it.
    EXPECT_EQ(builtin.find('\0'), std::string::npos);
    EXPECT_EQ(builtin.find_first_of("\r\n"), std::string::npos);
    for (bool jit : {true, false}) {
      const Pattern p = Pattern::CompileBuiltin(n, jit);
      EXPECT_TRUE(p.ok()) << "jit=" << jit << ": " << p.error();
    }
  }
  // The forms the filter compiles for texts 1 and 2 are those composed with
  // the texts (that they match alike is the gate tests' business below).
  for (int n = 1; n <= 2; ++n) {
    EXPECT_EQ(BuiltinFastPatternText(n), PatternFileText(n, "fast"))
        << "text " << n << ": rerun scripts/scramble-patterns.py";
  }
  // The three texts are distinct patterns, not one copied thrice.
  EXPECT_NE(BuiltinPatternText(1), BuiltinPatternText(2));
  EXPECT_NE(BuiltinPatternText(1), BuiltinPatternText(3));
}

// ---------------------------------------------------------------------------
// The corpus.

// One corpus file: its values and, decoded once up front, the subjects the
// filter sees when a value arrives in a query string (or a form body) or in a
// cookie, written as a browser writes it.
struct CorpusFile {
  std::vector<std::string> values, query, cookie;
  const std::vector<std::string>& subjects(bool as_cookie) const {
    return as_cookie ? cookie : query;
  }
};

struct Corpus {
  bool loaded = false;
  bool folder_missing = false;  // no corpus on this machine: the tests skip
  std::string error;
  CorpusFile attack, attack_blind, benign, benign_gbk, benign_prose, benign_prose_gbk, probes;
};

const Corpus& GetCorpus() {
  static const Corpus corpus = [] {
    Corpus c;
    const std::string dir = ZELK_CORPUS_DIR;
    const std::string where =
        " (set ZELK_CORPUS_DIR to the folder holding attack.txt and the others)";
    if (!std::filesystem::is_directory(dir)) {
      c.folder_missing = true;
      c.error = "the SQL-injection corpus folder " + dir + " is missing" + where;
      return c;
    }
    const std::pair<const char*, CorpusFile*> files[] = {
        {"attack.txt", &c.attack},
        {"attack-blind.txt", &c.attack_blind},
        {"benign.txt", &c.benign},
        {"benign-gbk.txt", &c.benign_gbk},
        {"benign-prose.txt", &c.benign_prose},
        {"benign-prose-gbk.txt", &c.benign_prose_gbk},
        {"probes.txt", &c.probes}};
    for (const auto& [name, file] : files) {
      std::string data;
      if (!ReadFile(dir + "/" + name, &data)) {
        c.error = "the SQL-injection corpus is missing: cannot read " + dir + "/" + name + where;
        return c;
      }
      file->values = SplitLines(data);
      for (const std::string& v : file->values) {
        file->query.push_back(AsQuery(v));
        file->cookie.push_back(AsCookie(v));
      }
    }
    c.loaded = true;
    return c;
  }();
  return corpus;
}

#define REQUIRE_CORPUS(c)                          \
  const Corpus& c = GetCorpus();                   \
  if (c.folder_missing) GTEST_SKIP() << c.error;   \
  ASSERT_TRUE(c.loaded) << c.error;                \
  ASSERT_GT(c.attack.values.size(), 1000u);        \
  ASSERT_GT(c.attack_blind.values.size(), 5000u);  \
  ASSERT_GT(c.benign.values.size(), 10000u);       \
  ASSERT_GT(c.benign_gbk.values.size(), 10000u);   \
  ASSERT_GT(c.benign_prose.values.size(), 10000u); \
  ASSERT_GT(c.benign_prose_gbk.values.size(), 10000u)

struct Rate {
  std::size_t hits = 0;
  std::size_t total = 0;
  double percent() const { return total == 0 ? 0.0 : 100.0 * hits / total; }
};

Rate Measure(const Pattern& p, const std::vector<std::string>& subjects) {
  Rate r;
  r.total = subjects.size();
  for (const std::string& s : subjects) {
    if (MatchPattern(p, s)) ++r.hits;
  }
  return r;
}

std::string Describe(const Rate& r) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%zu/%zu (%.3f%%)", r.hits, r.total, r.percent());
  return buf;
}

// What a built-in text promises on the corpus. The attack floors are what
// the texts reach today, less at most a tenth, so that any real loss of
// coverage shows; the benign ceilings are the promise made to users.
struct Floors {
  double attack_min, attack_blind_min, benign_max;
};
constexpr Floors kInjectionTextFloors{95.4, 99.9, 0.1};

void ExpectFloors(const Corpus& c, const Pattern& p, bool as_cookie, const std::string& label,
                  const Floors& floors) {
  const struct {
    const char* name;
    const CorpusFile& file;
    bool attack;
    double limit;
  } rows[] = {{"attack", c.attack, true, floors.attack_min},
              {"attack-blind", c.attack_blind, true, floors.attack_blind_min},
              {"benign", c.benign, false, floors.benign_max},
              {"benign-gbk", c.benign_gbk, false, 0.0},
              {"benign-prose", c.benign_prose, false, floors.benign_max},
              {"benign-prose-gbk", c.benign_prose_gbk, false, floors.benign_max}};
  std::string figures;
  for (const auto& row : rows) {
    const Rate r = Measure(p, row.file.subjects(as_cookie));
    figures += std::string(" ") + row.name + " " + Describe(r);
    testing::Test::RecordProperty(label + "_" + row.name + "_pct", std::to_string(r.percent()));
    if (row.attack) {
      EXPECT_GE(r.percent(), row.limit) << label << " " << row.name << " " << Describe(r);
    } else {
      EXPECT_LE(r.percent(), row.limit) << label << " " << row.name << " " << Describe(r);
    }
  }
  std::printf("[ figures ] %s:%s\n", label.c_str(), figures.c_str());
}

// Texts 1 and 2 in every place they serve (the query string; the cookie and,
// form-encoded like a query string, the POST body), with the JIT and with
// the interpreter.
TEST(BuiltinPatternCorpus, InjectionTextsMeetTheirFloorsEverywhere) {
  REQUIRE_CORPUS(c);
  for (bool jit : {true, false}) {
    const std::string mode = jit ? "_jit" : "_interp";
    ExpectFloors(c, CompileBuiltin(1, jit), false, "text1_query" + mode, kInjectionTextFloors);
    const Pattern p2 = CompileBuiltin(2, jit);
    ExpectFloors(c, p2, true, "text2_cookie" + mode, kInjectionTextFloors);
    ExpectFloors(c, p2, false, "text2_form" + mode, kInjectionTextFloors);
  }
}

// The same payloads written to slip past a naive decoder: a stray '%' before
// every letter (ASP drops it) and every byte as "%uXXXX".
TEST(BuiltinPatternCorpus, EncodedPayloadsAreCaughtAsOften) {
  REQUIRE_CORPUS(c);
  const Pattern p1 = CompileBuiltin(1);
  const Pattern p2 = CompileBuiltin(2);
  for (Encoding how : {Encoding::kPercentLetter, Encoding::kUnicode}) {
    for (const CorpusFile* file : {&c.attack, &c.attack_blind}) {
      Rate plain1, plain2, encoded1, encoded2;
      for (std::size_t i = 0; i < file->values.size(); ++i) {
        const std::string& v = file->values[i];
        const bool p1_plain = MatchPattern(p1, file->query[i]);
        const bool p2_plain = MatchPattern(p2, file->cookie[i]);
        const bool p1_encoded = MatchPattern(p1, AsQuery(v, how));
        const bool p2_encoded = MatchPattern(p2, AsCookie(v, how));
        plain1.hits += p1_plain;
        plain2.hits += p2_plain;
        encoded1.hits += p1_encoded;
        encoded2.hits += p2_encoded;
      }
      plain1.total = plain2.total = encoded1.total = encoded2.total = file->values.size();
      // The decoder undoes both spellings; what the plain payload is, the
      // encoded one is too, within a hundredth.
      EXPECT_GE(encoded1.hits + file->values.size() / 100, plain1.hits) << Describe(encoded1);
      EXPECT_GE(encoded2.hits + file->values.size() / 100, plain2.hits) << Describe(encoded2);
      EXPECT_GE(encoded1.percent(), file == &c.attack
                                        ? kInjectionTextFloors.attack_min
                                        : kInjectionTextFloors.attack_blind_min - 0.5);
    }
  }
}

// The spare text is the conservative one: it gives up the looser shapes
// (bare fragments, concatenation, comparisons with a word) to stay quiet on
// prose. It must still catch most attacks and almost no benign value of the
// older files.
TEST(BuiltinPatternCorpus, SpareTextIsConservative) {
  REQUIRE_CORPUS(c);
  const Pattern p = CompileBuiltin(3);
  const Rate attack = Measure(p, c.attack.query);
  const Rate benign = Measure(p, c.benign.query);
  const Rate gbk = Measure(p, c.benign_gbk.query);
  std::printf("[ figures ] text3_query: attack %s, benign %s, benign-gbk %s\n",
              Describe(attack).c_str(), Describe(benign).c_str(), Describe(gbk).c_str());
  EXPECT_GE(attack.percent(), 80.0);
  EXPECT_LE(benign.percent(), 0.02);
  EXPECT_LE(gbk.percent(), 0.02);
}

// The corpus keeps "%0A"-style escapes for control bytes; the harness must
// hand them to the decoder as escapes, and everything else must come back
// byte for byte.
TEST(BuiltinPatternCorpus, HarnessEncodingRoundTripsThroughTheDecoder) {
  EXPECT_EQ(AsQuery("' or 'a'='a"), "q=' or 'a'='a");
  EXPECT_EQ(AsQuery("1+1 & 2"), "q=1+1 & 2");
  // A tab can sit on a line, so "%09" is not one of the kept escapes.
  EXPECT_EQ(AsQuery("union%0Aselect%0b%09%7F"), "q=union\nselect\x0b%09\x7f");
  EXPECT_EQ(AsQuery("100%25 %41"), "q=100%25 %41");
  EXPECT_EQ(AsQuery("%u0027"), "q=%u0027");
  EXPECT_EQ(AsQuery("\xB2\xE2\xCA\xD4"), "q=\xB2\xE2\xCA\xD4");
  EXPECT_EQ(AsCookie("a;b"), "ASPSESSIONIDQQ=ABCDEF; q=a;b");
  REQUIRE_CORPUS(c);
  std::size_t with_control_escape = 0;
  for (std::size_t i = 0; i < c.attack.values.size(); ++i) {
    const std::string& v = c.attack.values[i];
    if (c.attack.query[i] != "q=" + v) {
      ++with_control_escape;
      EXPECT_NE(v.find('%'), std::string::npos) << v;
    }
  }
  // The corpus notes 45 attack lines carrying such escapes.
  EXPECT_GE(with_control_escape, 40u);
}

// ---------------------------------------------------------------------------
// Classic evasions, as raw query strings an attacker sends.

struct Case {
  const char* query;
  bool spare;             // the conservative text 3 must catch it too
  bool injection = true;  // texts 1 and 2 must catch it
};

const Case kEvasions[] = {
    // Comments inside and around keywords, MySQL versioned comments.
    // SQL reads a comment as a blank, so "UN/**/ION" is two words: only
    // the spare text, which flags comments inside words, treats it as one.
    {"id=1%20UN/**/ION%20SEL/**/ECT%201,2,3", true, false},
    {"id=1/*!50000union*//*!50000select*/1,2", true},
    {"id=1/*!UNION*/+/*!SELECT*/+1,2", true},
    {"id=1+/*!or*/+1=1", true},
    {"user='/**/or/**/1=1--", true},
    // Letter case.
    {"id=-1+UnIoN+SeLeCt+1,2,3", true},
    {"id=1+oR+1=1", true},
    // Whitespace substitutes: tab, newline, CR LF, vertical tab, NBSP, comment to line end.
    {"id=1%09union%09select%091,2", true},
    {"id=1%0aunion%0aselect%0a1,2", true},
    {"id=1%0d%0aunion%0d%0aall%0d%0aselect%0d%0a1", true},
    {"id=1%0bunion%0bselect%0b1,2", true},
    {"id=1%a0union%a0select%a01,2", true},
    {"id=1%a0or%a01=1", true},
    {"id=1+union--x%0aselect+1", true},
    {"id=1+union%23x%0aselect+1", true},
    {"id=1+union(select+1,2)", true},
    {"id=1+union+distinct+select+1", true},
    {"id=1+union+distinctrow+select+1", true},
    // SQL Server reads a number and a word written together as two tokens.
    {"id=1union+select+1,2", false},
    {"id=-1)union(select+1)", false},
    // MySQL reads "1e0" and "1.0" as numbers before a word written straight on.
    {"id=1e0union+select+1,2", false},
    {"id=1.0union+select+1,2", false},
    // %uXXXX escapes, which the decoder turns into GBK/ASCII.
    {"user=%u0027%20or%201=1--", true},
    {"user=admin%u0027--", true},
    {"id=1%u0020or%u00201=1", true},
    {"id=1%20%4f%52%201=1", true},
    // String concatenation.
    {"name='ad'%2B'min'", false},
    {"name='a'||'b'", false},
    {"q=concat(0x61,0x64,0x6d)", true},
    {"q=1+and+concat_ws(0x3a,user(),version())", true},
    // char()/chr() and hex literals.
    {"q=char(97,100,109)", true},
    {"q=CHAR(0x61)", true},
    {"q=chr(65)||chr(66)", true},
    {"user=0x61646d696e", true},
    // Stacked queries.
    {"id=1;drop+table+users", true},
    {"id=1;+DROP+TABLE+users--", true},
    {"id=1;exec+master..xp_cmdshell+'dir'", true},
    {"id=1;exec('sel'%2B'ect+1')", true},
    {"id=1;shutdown--", true},
    {"id=1;declare+@s+varchar(99)", true},
    {"id=1;insert+into+users+values(1)", true},
    {"id=1;update+users+set+admin=1", true},
    {"id=1'%3bexec+sp_addlogin+'x'", true},
    // SQL Server runs a second statement without any separator.
    {"id=1+drop+table+users--", true},
    {"id=1+insert+into+users+values(1)--", false},
    {"id=1+update+users+set+pwd=1--", false},
    {"id=1+delete+from+users--", false},
    {"id=1;--", true},
    // Time delays.
    {"id=1+waitfor+delay+'0:0:5'", true},
    {"id=1+waitfor+time+'12:00'", true},
    {"id=1;waitfor%09delay%09'0:0:5'--", true},
    {"id=1+and+sleep(5)", true},
    {"id=1+AND+SLEEP/**/(5)", true},
    {"id=benchmark(1000000,md5(1))", true},
    {"id=1;select+pg_sleep(5)", true},
    {"id=1||pg_sleep(5)", true},
    // Command execution and dynamic SQL.
    {"cmd=xp_cmdshell", true},
    {"id=1+exec(@s)", true},
    // Catalogue probes (SQL Server, Access, MySQL).
    {"id=1+and+exists(select+*+from+information_schema.tables)", true},
    {"id=1+and+(select+count(*)+from+sysobjects)>0", true},
    {"id=1+and+exists+(select+*+from+msysobjects)", true},
    {"id=1+and+0<(select+count(*)+from+MSysObjects)", true},
    {"id=1+and+1=(select+@@version)", true},
    {"id=1+and+(select+top+1+asc(mid(password,1,1))+from+admin)>0", true},
    {"id=1%20and%20ascii(substring((select%20top%201%20name%20from%20sysobjects),1,1))>0", true},
    {"id=1+and+user>0", false},
    {"id=1+and+db_name()>0", false},
    {"id=1+and+1=convert(int,@@version)", true},
    {"q=1+and+extractvalue(1,concat(0x7e,version()))", true},
    {"id=-1+union+select+1,load_file('/etc/passwd')", true},
    {"q=1+into+outfile+'/tmp/x'", true},
    {"id=1::int", false},
    // Tautologies and comment-terminated logins.
    {"user=admin'+or+1=1--", true},
    {"user=admin'+or+'1'='1", true},
    {"user='+or+'a'='a", true},
    {"user=')+or+('a'='a", true},
    {"user=admin%27%20or%20%271%27=%271", true},
    {"user='+or+''='", true},
    {"user=\"+or+\"\"=\"", true},
    {"id=1+or+2>1", true},
    {"id=1'+or+2>1--", true},
    {"id=1+or+1=1", true},
    {"id=1+OR+1=1%23", true},
    {"id=1+having+1=1", true},
    {"id=1'+and+'x'='x", true},
    {"user=admin'/*", true},
    {"user=admin'--", true},
    {"user=admin'%23", true},
    {"user=admin%22%23+x", false},
    // A quoted word that goes on in SQL: a number or a quote after it.
    {"user=%27or%27+1", false},
    {"user=%27or%27x%27=%27x", true},
    // Whole statements.
    {"id=1+and+1=2+union+all+select+null,null", true},
    {"id=1+order+by+5--", true},
    {"q=select+name+from+users+where+id=1", true},
    // Gaps of any length: long comments and hundreds of blanks.
    {"id=1+union/"
     "*aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
     "aaaaaaaaaa*/select+1,2",
     false},
    {"id=1+union--aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa%"
     "0A"
     "select+1",
     false},
    // Control bytes SQL Server reads as blanks.
    {"id=1%01and%011=1", false},
    // Function-call extraction, after every kind of prefix and suffix.
    {"id=1'+AND+ORD(MID((SELECT+IFNULL(CAST(user+AS+NCHAR),0x20)+FROM+users),1,1))>64--+-", false},
    {"id=1\")+AND+ASCII(SUBSTR(version(),1,1))>51%23", false},
    {"id=-9079))+OR+ELT(1=1,SLEEP(5))", false},
    {"id=1'+IN+BOOLEAN+MODE)+AND+MAKE_SET(1<2,1)%23", false},
    {"id=1+AND+IIF(1=1,1,0)=1", false},
    {"id=)+OR+(UNICODE(SUBSTRING(ISNULL(USER_NAME(),%27+%27),11,1))<122)+/*", false},
    {"id=IIF(UNICODE(SUBSTRING(ISNULL(SYSTEM_USER,%27+%27),12,1))>8,1,0)", false},
    {"id=ELT(CHAR_LENGTH(CURRENT_USER())!=83,1)", false},
    {"id=)+OR+DATALENGTH(USER_NAME())<=116--+x", false},
    {"id=(CASE+WHEN+1=1+THEN+1+ELSE+0+END)", false},
    // A value that opens by closing a bracket, or with a minus before a subselect.
    {"id=)+AND+CASE+WHEN+LENGTH(CURRENT_USER::text)>10+THEN+1+ELSE+0+END;--+", false},
    {"id=)+AND+UPDATEXML(0,CONCAT_WS(%27(%27,%27~%27,SESSION_USER(),%27~%27),0)%23", false},
    {"id=-(SELECT+CASE+WHEN+(ASCII(SUBSTR(SCHEMA(),32,1))>=56)+THEN+1+ELSE+1/0+END)", false},
    // A call whose first argument calls a name holding '_' that starts like
    // a name of the list (char_length, user_name).
    {"id=%22+IF(CHAR_LENGTH(USER())<114,1,0)", false},
    {"id=1*ELT(CHAR_LENGTH(DATABASE())+NOT+BETWEEN+0+AND+48,1)", false},
    {"id=1;CALL+DBMS_LOCK.SLEEP(5)", false},
    {"id=1;DECLARE+@x+int", false},
    {"id=1;backup+database+news+to+disk=%27c:\\inetpub\\wwwroot\\x.asp%27--", false},
    // Comparisons between quoted strings, shapes without a quote.
    {"q=x'+LIKE+'x", false},
    {"q=a'+RLIKE+'a", false},
    {"q=a'+SOUNDS+LIKE+'a", false},
    {"q=9'<<'8", false},
    {"id=convert(int,db_name())", false},
    {"id=1-(select+username+from+admin)", false},
    {"id=1+and+not+1=2", false},
    {"id=1+and+1+like+1", false},
    {"id=1+is+not+null", false},
    {"id=-1+or+1", false},
    {"id=-1||1", false},
    {"id=1+procedure+analyse()", false},
    {"id=1+rlike+(select+1)", false},
    {"id=1+div+0", false},
    {"id=1+like+binary+'a'", false},
    {"id=mid(user(),1,1)+like+unhex(72)", false},
    // A quote that is no GBK trail byte stays a quote.
    {"user=%D5%27+or+1=1--", false},
    // A statement stacked straight after ';', a set operation, a cast, a
    // sub-select left open at the end, what is left of a polyglot once its
    // comment folds, a clause that closes a column list.
    {"id=1;drop", false},
    {"q=x;update+users", false},
    {"q=;RePLAcE/*x*/t(id)+VALUES(1)", false},
    {"id=1+except+select+1,2", false},
    {"q=password::int", false},
    {"q=x&name=(select", false},
    {"sort=id,(select+sleep(5))", false},
    {"q=%27XOR(select+sleep(5))XOR%27", false},
    {"q=SLEEP(1)/*'+or+SLEEP(1)+or+'%22+or+SLEEP(1)+or+%22*/", false},
    {"q=9999+or+{if+1}", false},
    {"q=from+users+where+id=1", false},
    {"q=order+by", false},
    // A sleep among the arguments of a condition, a comparison with a cast
    // or a call after a closing quote, blanks around parentheses.
    {"id=IF(1=1,SLEEP(5),0)", false},
    {"q=a'+LIKE+BINARY+'a", false},
    {"q=1%22+MOD+LENGTH(USER)+MOD+%22", false},
    {"id=1+and+(+select+1+)=1", false},
    // A quote escaped with a backslash before the closing one; doubled
    // quotes around a tautology's words.
    {"q=x\\''or+1#", false},
    {"q=x%22%22)+or+(%22%22a%22%22=%22%22a", false},
    // Versioned comments left open before each keyword.
    {"id=1+/*!0UNION/*!0ALL/*!0SELECT+1,2", false},
    // PostgreSQL's COPY stacked after ';' runs a program.
    {"id=1;COPY+t+FROM+PROGRAM+'id'", false},
    // Typographic quotes, which SQL Server's best fit makes quotes; the
    // server's version read inside a call at a value's start.
    {"user=%E2%80%99+or+%E2%80%981%E2%80%99=%E2%80%991", false},
    {"id=SUBSTRING(VERSION(),1,1)+LIKE+5", false},
};

TEST(BuiltinPatternEvasions, EveryEvasionIsCaught) {
  const Pattern p1 = CompileBuiltin(1);
  const Pattern p2 = CompileBuiltin(2);
  const Pattern p3 = CompileBuiltin(3);
  for (const Case& c : kEvasions) {
    const std::string subject = DecodeQueryText(c.query);
    if (c.injection) {
      EXPECT_TRUE(MatchPattern(p1, subject)) << "text 1 misses " << c.query;
      EXPECT_TRUE(MatchPattern(p2, subject)) << "text 2 misses " << c.query;
      // The same value carried in a cookie.
      const std::string_view query(c.query);
      const std::string cookie = DecodeQueryText("ASPSESSIONIDQQ=ABCDEF; " + std::string(query));
      EXPECT_TRUE(MatchPattern(p2, cookie)) << "text 2 misses the cookie " << c.query;
    }
    if (c.spare) {
      EXPECT_TRUE(MatchPattern(p3, subject)) << "text 3 misses " << c.query;
    }
  }
}

// ---------------------------------------------------------------------------
// Ordinary requests that must pass. GBK bytes are written as escapes so the
// test does not depend on the source or execution character set.

const char* const kBenignQueries[] = {
    // Chinese search text in GBK, including second bytes that look like
    // ASCII punctuation and letters: 0x7C '|', 0x60 '`', 0x5C '\', 0x40 '@',
    // 0x5B-0x5F, 0x7B-0x7E, letters.
    "q=%D6%D0%CE%C4%CB%D1%CB%F7",
    "q=%81%7C%B0%60%D7%5C%81%40%81%5B%81%5D%81%5E%81%5F%81%7B%81%7D%81%7E",
    "q=%81o%81r%81%7C%81%7C%81a%81n%81d%81%27",
    "q=%D6%D0%CE%C4+or+%D3%A2%CE%C4",
    "q=%D6%D0'%CE%C4",
    "q=%CE%D2%B5%C4%CE%C4%BC%FE%3A+test.doc",
    "q=%u4E2D%u6587%u641C%u7D22",
    "q=%E4%B8%AD%E6%96%87",
    // Names with apostrophes, English text that uses SQL words.
    "name=O'Brien",
    "name=O'Reilly+and+Sons",
    "name=O%27Brien&city=Dublin",
    "q=bob's+or+alice's",
    "q=Tom's+and+Mary's+house",
    "q=D'or+1st+parfume",
    "q=is+this+your+parents'+or+yours",
    "q=rock+'n'+roll",
    "q=it's+a+test;+really",
    "q=don't+stop+--+ever",
    "q=I+said+\"yes\"+or+\"no\"",
    "q=The+Students'+Union+building",
    "q=select+a+plan",
    "q=how+to+select+a+plan",
    "q=select+a+plan+from+the+list",
    "q=select+all+that+apply",
    "q=union+station+chicago",
    "q=drop+shipping+business",
    "q=update+my+profile",
    "q=exec+summary+template",
    "q=sleep+well+tonight",
    "q=Tom+and+Jerry",
    "q=black+or+white",
    "q=true+or+false",
    "q=what+is+1+or+2",
    "q=who+won+in+2007+and+2008",
    "q=1+in+3+people",
    "q=order+by+date",
    "q=insert+into+word+document",
    "q=how+to+create+table+in+excel",
    "q=delete+from+iphone",
    "q=drop+table+for+sale",
    "q=outfile+name",
    "q=10+as+far+from+home",
    "q=std::string",
    "q=char+siu+recipe",
    "q=where+to+buy+char+grill+from+the+store",
    "q=user(s)+guide",
    "q=version+(2.0)",
    "q=having+fun!",
    "q=1%2B1=2",
    "q=C%2B%2B+tutorial",
    "q=50%25+off",
    "q=hello+world+--+goodbye",
    // URLs, dates, e-mails, ids, tokens.
    "url=http://example.com/a/b?c=d",
    "url=http%3A%2F%2Fwww.example.com%2Fpath%2Findex.asp%3Fid%3D5%26page%3D2",
    "page=news.asp?id=12",
    "date=2024-01-05&time=12:30",
    "email=john.doe@example.com",
    "id=123&page=2",
    "id=5&sort=desc&order=name",
    "color=%23ff0000",
    "q=a/b/c",
    "q=x%3D1%2By",
    "sid=ABCDEF0123456789&lang=zh-cn",
};

// Harder ordinary text the injection texts (1 and 2) let through; the spare
// text predates it.
const char* const kProseQueries[] = {
    // Prose: quotations with an attribution, programming and database text,
    // shop searches with inch and foot marks.
    "q=%22Stay+hungry%2C+stay+foolish.%22+--+Steve+Jobs",
    "q=call+sleep()+or+usleep()+to+wait",
    "q=returns+NULL+if+the+key+is+0x1F",
    "q=15%22+x+20%22+frame",
    "q=4'x4'+wood+post",
    "q=%22red%22+%2B+%22mug%22",
    "q=restore+database+from+backup",
    "q=drop+shadow+css",
    "q=Top+10+select+picks",
    "q=Sleep+(film)",
    "q=parts+3+and+4%3B+see+below",
    "q=0x8007000E",
    "q=%B4%ED%CE%F3%B4%FA%C2%EB+0x000000D1",
    "q=0x00FF00",
    "q=The+SELECT+statement+reads+rows+FROM+a+table+WHERE+a+condition+holds",
    // Chinese characters ending in a backtick, '|' or '@' followed by what
    // would otherwise read as SQL.
    "q=%B0%60%3B+%D6%D0",
    "q=%B0%60--+%D6%D0",
    "q=%81%7C%7C1%23",
    "q=%81%40%40version",
    // Near misses of the shapes above: a blank after ';', a cast of an
    // array, "from" as a parameter name and in prose, "null" in a sentence.
    "q=restart%3B+update+your+drivers",
    "q=array[]::int[]",
    "from=index&to=home",
    "q=from+Russia+with+love",
    "q=it+is+null+and+void",
    "q=alarm(2),+sleep(3)",
    // A call the texts know wrapping a call they do not: programming text,
    // and the commonest date format of SQL Server searches.
    "q=len(str(123))",
    "q=print(hex(id(obj)))",
    "q=hex(randomblob(16))",
    "q=convert(varchar(10),getdate(),120)",
    // An apostrophe in the first word and a language name ending in '#';
    // a select with distinct as a phrase.
    "q=what's+new+in+C%23",
    "q=select+distinct+rows",
    // A number and a comparison word, then a word: a search, not a
    // comparison ("1 like 1", "1 rlike (select 1)" and "1 is not null" are).
    "q=3+match+series",
    "q=1+mod+apk",
    "q=10+between+us",
    "q=2+like+new+tires",
    "q=sizes+1+and+2+like+new",
    // "exec" and one word at a value's end is a job search, unless the word
    // is sp or xp (what a probe for stored procedures sends).
    "q=exec+director",
    "q=exec+summary",
    // Version numbers and a dropdown's placeholder before SQL words.
    "q=5.0+or+higher+version",
    "q=2e5+and+above",
    "q=--+select+--",
    // Visual Basic's Select Case, a common question on ASP sites.
    "q=Select+Case+x",
    "q=select+case+%D3%EF%BE%E4",
    // How to use count(*): a question, not a statement (which needs its from).
    "q=select+count(*)+%D3%C3%B7%A8",
    // A quoted phrase or a code span that opens with '#' and a word: a
    // number, a hashtag, a preprocessor line ("admin'#" is a comment).
    "q=%22%231+hit+single%22",
    "q=%22%23hashtag%22+tips",
    "q=%60%23include+<stdio.h>%60+is+needed",
    // A search that opens with a quoted word SQL also knows.
    "q=%22like%22+button",
    "q=%22match%22+game",
    "q=%22div%22+tag",
    "q=%22and%22+operator",
};

TEST(BuiltinPatternEvasions, OrdinaryQueriesPass) {
  const Pattern p1 = CompileBuiltin(1);
  const Pattern p2 = CompileBuiltin(2);
  const Pattern p3 = CompileBuiltin(3);
  for (const char* query : kBenignQueries) {
    const std::string subject = DecodeQueryText(query);
    EXPECT_FALSE(MatchPattern(p1, subject)) << "text 1 blocks " << query;
    EXPECT_FALSE(MatchPattern(p2, subject)) << "text 2 blocks " << query;
    EXPECT_FALSE(MatchPattern(p3, subject)) << "text 3 blocks " << query;
  }
  for (const char* query : kProseQueries) {
    const std::string subject = DecodeQueryText(query);
    EXPECT_FALSE(MatchPattern(p1, subject)) << "text 1 blocks " << query;
    EXPECT_FALSE(MatchPattern(p2, subject)) << "text 2 blocks " << query;
    EXPECT_FALSE(MatchPattern(p2, DecodeQueryText("ASPSESSIONIDQQ=ABCDEF; " + std::string(query))))
        << "text 2 blocks the cookie " << query;
  }
}

TEST(BuiltinPatternEvasions, CookieSeparatorsAndQuotedCookieValuesPass) {
  const Pattern p2 = CompileBuiltin(2);
  const char* const kCookies[] = {
      "ASPSESSIONIDQQ=ABCDEF; update=1; select=2; delete=0",
      "ASPSESSIONIDQQ=ABCDEF; name=\"O'Brien\"; theme=\"dark\"",
      "ASPSESSIONIDQQ=ABCDEF; last=\"a--\"; x=1",
      "ASPSESSIONIDQQ=ABCDEF; token=YWJj+ZGVm/Z2hp==; lang=zh-cn",
  };
  for (const char* cookie : kCookies) {
    EXPECT_FALSE(MatchPattern(p2, DecodeQueryText(cookie))) << cookie;
  }
}

// ---------------------------------------------------------------------------
// Bounded work: long hostile values finish inside the match and recursion
// limits, with and without the JIT, and with a recursion bound as strict as a
// stack-recursing (non-JIT) build needs.

std::string Repeat(std::string_view unit, std::size_t size) {
  std::string s;
  s.reserve(size + unit.size());
  while (s.size() < size) s.append(unit);
  s.resize(size);
  return s;
}

TEST(BuiltinPatternBounds, LongHostileValuesStayInsideTheLimits) {
  constexpr std::size_t k64K = 64 * 1024;
  const std::string shapes[] = {
      Repeat("'", k64K),
      Repeat("\"", k64K),
      "q='" + Repeat(" ", k64K),
      Repeat("\t\n\x0b\xa0", k64K),
      Repeat("/*", k64K),
      "'or" + Repeat("/*", k64K),
      Repeat("/*!", k64K),
      Repeat("or ", k64K),
      Repeat("'or'", k64K),
      Repeat("' or ", k64K),
      Repeat("%", k64K),
      Repeat("1", k64K),
      Repeat("' or 1 ", k64K),
      Repeat("or 1=", k64K),
      Repeat("'a'", k64K),
      Repeat("union/**/", k64K),
      Repeat("select from ", k64K),
      Repeat("order by ", k64K),
      Repeat("'--x", k64K),
      Repeat("=or ", k64K),
      Repeat(") as x ", k64K),
      Repeat("\xD6\xD0\xCE\xC4\x81\x7C\xB0\x60\xD7\x5C\x81\x40", k64K),
      Repeat("\xB0\x60or\xB0\x60", k64K),
      // The slowest pairs, triples and fours of value starts, operators and
      // quotes.
      Repeat("'&", k64K),
      Repeat("`=", k64K),
      Repeat("&;", k64K),
      Repeat("&&", k64K),
      Repeat("&-'", k64K),
      Repeat("'==", k64K),
      Repeat("'=;", k64K),
      Repeat("'&;", k64K),
      Repeat("aa(", k64K),
      Repeat("'&&1", k64K),
      Repeat("&a'&", k64K),
      Repeat("=aa(", k64K),
      Repeat("or='", k64K),
      Repeat("=or(", k64K),
      // Calls and subselects opening again and again within the reach of
      // the look for their closing bracket or "from".
      Repeat("(select x", k64K),
      Repeat(" and ord(", k64K),
      Repeat("=ord(", k64K),
      Repeat("and(ord(", k64K),
      Repeat(" &&ord(x", k64K),
      Repeat("'&&ord()", k64K),
      // Runs of dashes after a close, and of closing brackets after a call,
      // that lead nowhere.
      Repeat("='x" + std::string(40, '-') + "x&", k64K),
      Repeat(" and ord(" + std::string(150, ')') + "x", k64K),
      Repeat("`", k64K),
      Repeat("select ", k64K),
      Repeat("'a", k64K),
      Repeat("union/*", k64K),
      Repeat("--x", k64K),
      Repeat("=1 and ", k64K),
      Repeat("ascii(", k64K),
      Repeat("=' ", k64K),
  };
  // The JIT ignores the recursion limit; the interpreter runs with a strict
  // one (anything that fits in it fits in the default, too).
  const std::pair<bool, MatchLimits> configs[] = {{true, MatchLimits{}},
                                                  {false, MatchLimits{1000000, 100}}};
  for (int n = 1; n <= 3; ++n) {
    for (const auto& [jit, limit] : configs) {
      for (const Pattern& p : {CompileBuiltin(n, jit, limit), CompileUngated(n, jit, limit)}) {
        for (std::size_t i = 0; i < std::size(shapes); ++i) {
          EXPECT_NE(p.Match(shapes[i]), MatchResult::kLimitExceeded)
              << "text " << n << " jit=" << jit << " recursion_limit=" << limit.recursion_limit
              << " shape " << i;
        }
        // Filler does not hide an attack at its end, nor does it make one up.
        EXPECT_EQ(p.Match(Repeat("' or a", k64K) + "' or 1=1--"), MatchResult::kMatch)
            << "text " << n << " jit=" << jit;
        EXPECT_EQ(p.Match(Repeat("\xD6\xD0\xCE\xC4", k64K)), MatchResult::kNoMatch)
            << "text " << n << " jit=" << jit;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Texts 1 and 2 as the filter runs them (their fast forms, behind the quick
// test) give the verdict of the texts themselves, matched by PCRE alone: on
// every corpus value, and on values generated from the texts' own words and
// punctuation. A quick test or a lookahead that turned a match into a pass
// would show here.

void ExpectGateKeepsVerdicts(int text, const std::vector<std::string>& subjects,
                             std::size_t* matched) {
  static const Pattern gated[] = {CompileBuiltin(1), CompileBuiltin(2)};
  static const Pattern ungated[] = {CompileUngated(1), CompileUngated(2)};
  for (const std::string& subject : subjects) {
    const bool with = MatchPattern(gated[text - 1], subject);
    const bool without = MatchPattern(ungated[text - 1], subject);
    ASSERT_EQ(with, without) << "text " << text << ": " << subject;
    *matched += without;
  }
}

TEST(BuiltinPatternGate, KeepsEveryCorpusVerdict) {
  REQUIRE_CORPUS(c);
  std::size_t matched = 0;
  for (const CorpusFile* file : {&c.attack, &c.attack_blind, &c.benign, &c.benign_gbk,
                                 &c.benign_prose, &c.benign_prose_gbk, &c.probes}) {
    ExpectGateKeepsVerdicts(1, file->query, &matched);
    ExpectGateKeepsVerdicts(2, file->cookie, &matched);
    ExpectGateKeepsVerdicts(2, file->query, &matched);
  }
  EXPECT_GT(matched, 20000u);
}

TEST(BuiltinPatternGate, KeepsTheVerdictOnGeneratedValues) {
  // Pieces the texts are built from, with near misses of the words, and
  // pieces of ordinary values.
  // clang-format off
  const std::vector<std::string> pieces = {
      "and", "or", "xor", "not", "div", "mod", "into", "like", "rlike", "ilike", "regexp",
      "sounds like", "between", "glob", "match", "similar to", "is null", "is not null", "null",
      "select", "union", "all", "distinct", "drop table", "create view", "alter user",
      "truncate table", "insert into", "update t set", "delete from", "shutdown",
      "procedure analyse", "limit 1", "order by", "group by", "having", "declare", "set", "exec",
      "execute", "master", "waitfor delay", "xp_cmdshell", "xp_cmdx", "utl_http", "from",
      "information_schema", "case when", "then", "else", "end", "as", "call", "sleep", "pg_sleep",
      "benchmark", "char", "nchar", "concat", "convert", "int", "ascii", "ord", "mid", "substr",
      "cast", "iif", "if", "elt", "make_set", "count", "updatexml", "db_name", "user", "version",
      "true", "false", "exists", "top", "outfile", "dumpfile", "immediate", "sp_", "collate",
      "ANDY", "order", "orange", "notes", "modal", "divide", "intone", "nullable", "o_r", "and_",
      "x", "abc", "t", "id", "news", "1", "12", "0", "-1", "-9079", "3.5", "0x",
      "0x41424344454647", "0x1F", "=", "==", "<", ">", "<=>", "!=", "<>", "!", "~", "^", "|",
      "||", "&", "&&", "*", "%", "+", "-", "/", ";", "; ", "--", "#", "/*", "*/", ":", "::", "@",
      "@@", "@x", "{", "}", "{call ", "(", ")", ",", ".", "$", "_", "'", "\"", "`", "[", "]",
      "\xa0", "\xe2\x80\x99", "\xe2\x80\x9c", "\xb0\x60", "\xd6\xd0", "\xff", "\t", "\n", "=1",
      "&2", "=-3", "5)", "((", " (", "unicode", "hex", "bin", "len", "length", "substring",
      "left", "right", "ifnull", "isnull", "chr", "extractvalue", "x_y", "in", "is", "5.0",
      "17_0", "like Gecko", "=(", "int)", "replace", "copy", "copy t", "binary", "backup",
      "backup database", "distinctrow", "unicode", "pg_read_file",
      "datalength", "1e0", "e", "from t where"};
  // What a piece may follow and be followed by, so that every piece is
  // tried in each context the texts tell apart.
  const std::vector<std::string> before = {"", "q=", "q=1 ", "q=1", "q=-1 ", "q=1) ", "q=x ",
                                           "q=1;", "q=(", "a ", "x.", "q=1 not ", "q=1e",
                                           "q=1.5e0", "q=) ", "q=-("};
  const std::vector<std::string> after = {"", " ", "(", " (", " 1", "1", "'", " x", " x(1)",
                                          "--", "#", " @a", " from t", "=1", "(x(", " (1)--", "(1)="};
  // clang-format on
  std::vector<std::string> values;
  for (const std::string& b : before) {
    for (const std::string& p : pieces) {
      for (const std::string& a : after) values.push_back(b + p + a);
    }
  }
  // And longer strings of pieces, with and without blanks between them.
  std::mt19937 rng(20261209);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> count(2, 7), coin(0, 3);
  for (int i = 0; i < 100000; ++i) {
    std::string v = coin(rng) == 0 ? "" : (coin(rng) == 0 ? "q=" : "a=1&q=");
    for (int k = count(rng); k > 0; --k) {
      v += pieces[pick(rng)];
      if (coin(rng) != 0) v += ' ';
    }
    values.push_back(v);
  }
  // Injections just past where the fast forms give up after a close, a
  // call or a subselect: each must still match (text 2 also ends a value at
  // ';'), and is checked below with the rest.
  const std::vector<std::string> edges = {"q=x'+--&'-",
                                          "q='||'& not ",
                                          "q=x'&&true'",
                                          "q=' collate)&",
                                          "q=x'shutdown='",
                                          "q=x'&&(1'",
                                          "q=x' and ord(x))))=1",
                                          "q=(select(select 1) from t",
                                          "q=ord(=ord(x)>1",
                                          "q=x'(--&",
                                          "q=x'=1--&",
                                          "q=x ||a_b(1)<2",
                                          "q=x'- 'a",
                                          "q=x char(65,66)",
                                          "q=1;set@a=1",
                                          "q=x'#'",
                                          "q=x'+#;'",
                                          "q=x union select 1"};
  const Pattern text2 = CompileBuiltin(2);
  for (const std::string& v : edges) {
    EXPECT_TRUE(MatchPattern(text2, v)) << v;
    values.push_back(v);
  }
  // And runs of punctuation, quotes and short words with no blank between,
  // where the fast forms give up after a byte or two.
  const std::vector<std::string> tight = {
      "'", "\"", "`", "=", "&", "&&", "|", "||", "(",  ")",      "@",    "-", "--", "#",  ";",
      ",", "+",  "*", "/", "<", "x",  "1", "or", "if", "select", "true", " ", "=1", "&q="};
  std::uniform_int_distribution<std::size_t> pick_tight(0, tight.size() - 1);
  for (int i = 0; i < 50000; ++i) {
    std::string v = "q=";
    for (int k = count(rng) + 1; k > 0; --k) v += tight[pick_tight(rng)];
    values.push_back(v);
  }
  std::size_t matched = 0;
  ExpectGateKeepsVerdicts(1, values, &matched);
  ExpectGateKeepsVerdicts(2, values, &matched);
  // The values reach both sides of the texts: enough of them match.
  EXPECT_GT(matched, values.size() / 20);
  EXPECT_LT(matched, values.size() * 2 - values.size() / 20);
}

// Ordinary values skip PCRE; one quote or SQL word brings it back.
TEST(BuiltinPatternGate, PassesOrdinaryValuesAndStopsAtTheirFirstSqlPiece) {
  const char* const ordinary[] = {
      "id=12345&page=2&keyword=\xD6\xD0\xCE\xC4&sort=date&order=desc&lang=zh-cn",
      "ASPSESSIONIDQQ=ABCDEFGHIJKL; lang=zh-cn",
      "q=android orange notes divide 10 mode",
      "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
      "Chrome/120.0.0.0 Safari/537.36",
      "Mozilla/5.0 (iPhone; CPU iPhone OS 17_0 like Mac OS X)",
      "act=delete&id=5&do=update",
      "q=\xB0\x60\xB0\x7C\xB0\x40"};
  for (const char* v : ordinary) {
    std::string folded = v;
    FoldSubject(v, &folded);
    EXPECT_FALSE(MayMatchInjectionTexts(folded)) << v;
  }
  const char* const sql[] = {"q='",
                             "q=1 and",
                             "q=1or 2",
                             "q=x||y",
                             "q=char(",
                             "q=0x41",
                             "q=1;",
                             "q=a::b",
                             "q=order by 1",
                             "q=SELECT",
                             "q=frominformation_schema",
                             "q=1 rlike",
                             "q=\xe2\x80\x99",
                             "q=@",
                             "q=5;delete",
                             "id=5 update",
                             "q=ascii (",
                             "q=x_y(",
                             "q=) as "};
  for (const char* v : sql) {
    std::string folded = v;
    FoldSubject(v, &folded);
    EXPECT_TRUE(MayMatchInjectionTexts(folded)) << v;
  }
}

// The JIT and the interpreter, and a strict recursion bound, give the same
// answer on every corpus value.
TEST(BuiltinPatternBounds, JitAndStrictRecursionNeverChangeAResult) {
  REQUIRE_CORPUS(c);
  for (int n = 1; n <= 3; ++n) {
    const Pattern jit = CompileBuiltin(n, true);
    const Pattern interp = CompileBuiltin(n, false, MatchLimits{1000000, 100});
    ASSERT_FALSE(interp.jit());
    if (!jit.jit()) GTEST_SKIP() << "this PCRE has no JIT; nothing to compare";
    std::size_t matched = 0;
    std::size_t compared = 0;
    for (const CorpusFile* file : {&c.attack, &c.attack_blind, &c.benign, &c.benign_gbk,
                                   &c.benign_prose, &c.benign_prose_gbk, &c.probes}) {
      for (const std::string& subject : file->subjects(n == 2)) {
        const MatchResult a = jit.Match(subject);
        const MatchResult b = interp.Match(subject);
        ++compared;
        if (a == MatchResult::kMatch) ++matched;
        ASSERT_NE(a, MatchResult::kLimitExceeded) << "text " << n << ": " << subject;
        ASSERT_EQ(a, b) << "text " << n << ": " << subject;
      }
    }
    EXPECT_GT(matched, 1000u);
    EXPECT_LT(matched, compared);
  }
}

}  // namespace
}  // namespace zelk::filter
