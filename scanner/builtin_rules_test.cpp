// Built-in rules written for kinds of back door that the web-shell set
// holds no (or too few) examples of: each must fire on a small page doing
// what its description says, and stay quiet on an ordinary page that comes
// close. The snippets are written here by hand; none is a real sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scanner/scanner.h"

namespace zelk::scanner {
namespace {

const RuleSet& BuiltInRules() {
  static const RuleSet* rules = [] {
    auto* r = new RuleSet();
    std::vector<CompileError> errors;
    LoadRuleFolders({std::string(ZELK_SOURCE_DIR) + "/scanner/rules"}, r, &errors);
    for (const CompileError& e : errors) ADD_FAILURE() << e.Text();
    return r;
  }();
  return *rules;
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(BuiltInRules, BehaviourRulesFireOnWhatTheyDescribeAndNotOnOrdinaryPagesNearIt) {
  const struct {
    const char* rule;
    std::string page;      // a page doing it
    std::string ordinary;  // an ordinary page that comes close
  } cases[] = {
      {"jsp_injects_server_component",
       "<% StandardContext ctx = (StandardContext) f.get(app); FilterDef def = new FilterDef();"
       " ctx.addFilterDef(def); ctx.addFilterMapBefore(map); %>",
       "<%-- runs under Tomcat's StandardContext --%><% out.print(application.getServerInfo()); "
       "%>"},
      {"jsp_interpreter_fed_by_request",
       "<% out.print(new GroovyShell().evaluate(request.getParameter(\"c\"))); %>",
       "<% String q = request.getParameter(\"q\"); out.print(q.length()); %>"},
      {"jsp_reflection_on_pieced_names",
       "<% Object r = Class.forName(\"java.lang.R\" + \"untime\").getMethod(\"getR\" + \"untime\")"
       ".invoke(null); %>",
       "<% Class.forName(\"com.mysql.jdbc.Driver\"); m.invoke(bean, value); %>"},
      {"jsp_markup_hidden_code",
       "<jsp:root><jsp:scriptlet>Run<![CDATA[]]>time.get<![CDATA[]]>Runtime().ex<![CDATA[]]>ec("
       "request.getParameter(\"c\"));</jsp:scriptlet></jsp:root>",
       "<jsp:root><jsp:scriptlet><![CDATA[ if (a < b) x(); ]]></jsp:scriptlet>&#169; "
       "2024</jsp:root>"},
      {"jsp_script_engine_eval",
       "<% new ScriptEngineManager().getEngineByName(\"js\").eval(request.getParameter(\"c\")); %>",
       "<% ScriptEngineManager m = new ScriptEngineManager(); out.print(m.getEngineFactories()); "
       "%>"},
      {"jsp_unicode_escaped_code", "<% " + Repeat("\\u0052\\u0075\\u006e\\u0074", 12) + " %>",
       "<% String s = \"\\u00e9t\\u00e9\"; out.print(s); %>"},
      {"jsp_bytecode_from_request",
       "<% byte[] b = new BASE64Decoder().decodeBuffer(request.getParameter(\"c\"));"
       " defineClass(b, 0, b.length); %>",
       "<% byte[] b = new BASE64Decoder().decodeBuffer(request.getParameter(\"img\")); %>"},
      {"jsp_upload_to_chosen_path",
       "<% ServletFileUpload u = new ServletFileUpload(f); String p = "
       "request.getParameter(\"path\");"
       " item.write(new File(p, item.getName())); %>",
       "<% ServletFileUpload u = new ServletFileUpload(f); item.write(new File(uploads, id)); %>"},
  };
  const RuleSet& rules = BuiltInRules();
  for (const auto& c : cases) {
    const std::vector<std::string> on_page = rules.Match(c.page, {});
    EXPECT_NE(std::find(on_page.begin(), on_page.end(), c.rule), on_page.end()) << c.rule;
    EXPECT_EQ(rules.Match(c.ordinary, {}), std::vector<std::string>())
        << c.rule << ": " << c.ordinary;
  }
}

}  // namespace
}  // namespace zelk::scanner
