// An IIS metabase held in memory, for tests and for trying the registration
// logic without IIS.
//
// Nodes are named by their path below "IIS://" ("localhost/w3svc/1/ROOT");
// paths, class names and property names are found regardless of ASCII case,
// as the IIS provider does. Property reads fall back to the parent for the
// inheritable "ScriptMaps", like the metabase's inheritance. Writes stay in the
// open object until SetInfo.
//
// Every call is recorded in calls() as "Verb(node,arguments)" and can be made
// to fail: FailOn("Create(", 1) makes the first call whose record begins with
// "Create(" throw MetabaseError, which is how tests reach each partial-success
// path of the operations.
//
// Not thread-safe. Objects handed out must not outlive the metabase.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "manager/iis/metabase.h"

namespace zelk::testing {

class MemoryMetabase : public manager::Metabase {
 public:
  using Value = std::variant<std::string, std::vector<std::string>>;

  struct ExtensionRecord {
    std::string path;
    bool allowed = false;
    std::string group_id;
    bool can_delete = false;
    std::string description;
  };

  // An empty store with the web service "localhost/w3svc" and its filters
  // collection "localhost/w3svc/Filters" holding FilterLoadOrder.
  explicit MemoryMetabase(const std::string& filter_load_order = "");

  // Adds (or replaces the class of) a node; its parent must exist.
  void AddNode(const std::string& path, const std::string& class_name);
  // Adds a web site: node "localhost/w3svc/<n>" (IIsWebServer) and its
  // "ROOT" (IIsWebVirtualDir); with script maps when given.
  void AddSite(int number,
               const std::optional<std::vector<std::string>>& script_maps = std::nullopt);
  void SetProperty(const std::string& path, const std::string& name, const Value& value);
  void RemoveProperty(const std::string& path, const std::string& name);

  bool HasNode(const std::string& path) const;
  // The node's own value (no inheritance), or nothing.
  std::optional<Value> Property(const std::string& path, const std::string& name) const;
  std::string StringProperty(const std::string& path, const std::string& name) const;
  std::vector<std::string> ListProperty(const std::string& path, const std::string& name) const;

  // Web service extension records; false makes both methods fail as on a
  // server whose web service does not offer them.
  bool extension_methods = true;
  std::vector<ExtensionRecord> extension_records;

  // The nth call (1-based) whose record begins with prefix throws; nth 0
  // makes every such call throw.
  void FailOn(const std::string& prefix, int nth = 1);
  const std::vector<std::string>& calls() const { return calls_; }
  // How many recorded calls begin with prefix.
  int CountCalls(const std::string& prefix) const;

  std::unique_ptr<manager::MetabaseObject> OpenNamespace() override;
  std::unique_ptr<manager::MetabaseObject> OpenPath(const std::string& path,
                                                    manager::MetabaseInterface as) override;

 private:
  friend class MemoryObject;
  friend class MemoryEnumerator;
  friend class MemoryElement;

  struct Node {
    std::string path;  // as first added, for display and GetDataPaths
    std::string class_name;
    std::map<std::string, Value> properties;  // by lower-case name
    std::vector<std::string> children;        // keys, in creation order
  };

  // Records the call and throws when a failure rule says so.
  void Call(const std::string& record);
  Node* Find(const std::string& path);
  const Node* Find(const std::string& path) const;
  Node& Require(const std::string& path);
  const Value* Lookup(const std::string& path, const std::string& name) const;
  void Erase(const std::string& key);

  struct FailRule {
    std::string prefix;
    int nth;
    int seen = 0;
  };
  std::map<std::string, Node> nodes_;  // by lower-case path
  std::vector<FailRule> rules_;
  std::vector<std::string> calls_;
};

}  // namespace zelk::testing
