#include "testing/memory_metabase.h"

#include <algorithm>

#include "platform/text.h"

namespace zelk::testing {

using namespace manager;  // the metabase's vocabulary

namespace {

constexpr char kNamespace[] = "IISNamespace";

std::string Key(const std::string& path) { return ToAsciiLower(path); }

std::string Parent(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string LastName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Inheritable(const std::string& property) {
  return EqualsIgnoreAsciiCase(property, kScriptMaps);
}

const char* InterfaceName(MetabaseInterface as) {
  switch (as) {
    case MetabaseInterface::kIADs:
      return "IADs";
    case MetabaseInterface::kIADsContainer:
      return "IADsContainer";
    case MetabaseInterface::kIISBaseObject:
      return "IISBaseObject";
  }
  return "?";
}

}  // namespace

// An open object: the namespace (empty path), a stored node, or a child made
// by Create that exists only after its SetInfo.
class MemoryObject : public MetabaseObject {
 public:
  MemoryObject(MemoryMetabase* store, std::string path, std::string create_class = "")
      : store_(store), path_(std::move(path)), create_class_(std::move(create_class)) {}

  std::string Name() override {
    store_->Call("Name(" + Shown() + ")");
    return path_.empty() ? kNamespace : LastName(Node().path);
  }

  std::unique_ptr<MetabaseObject> GetObject(const std::string& class_name,
                                            const std::string& relative_path) override {
    store_->Call("GetObject(" + Shown() + "," + class_name + "," + relative_path + ")");
    const std::string path = path_.empty() ? relative_path : Node().path + "/" + relative_path;
    const auto& node = store_->Require(path);
    if (!EqualsIgnoreAsciiCase(node.class_name, class_name)) {
      throw MetabaseError("object " + path + " is of class " + node.class_name + ", not " +
                          class_name);
    }
    return std::make_unique<MemoryObject>(store_, node.path);
  }

  std::string GetString(const std::string& property) override {
    store_->Call("Get(" + Shown() + "," + property + ")");
    const auto* text = std::get_if<std::string>(&Read(property));
    if (!text) throw MetabaseError(property + " is not a text");
    return *text;
  }

  std::vector<std::string> GetStringList(const std::string& property) override {
    store_->Call("Get(" + Shown() + "," + property + ")");
    const auto* list = std::get_if<std::vector<std::string>>(&Read(property));
    if (!list) throw MetabaseError(property + " is not a list");
    return *list;
  }

  void PutString(const std::string& property, const std::string& value) override {
    store_->Call("Put(" + Shown() + "," + property + "," + value + ")");
    Writable();
    pending_[Key(property)] = value;
  }

  void PutStringList(const std::string& property, const std::vector<std::string>& values) override {
    std::string shown;
    for (const auto& v : values) shown += (shown.empty() ? "" : "|") + v;
    store_->Call("Put(" + Shown() + "," + property + ",[" + shown + "])");
    Writable();
    pending_[Key(property)] = values;
  }

  void SetInfo() override {
    store_->Call("SetInfo(" + Shown() + ")");
    Writable();
    if (!create_class_.empty()) {
      if (store_->Find(path_)) throw MetabaseError("object " + path_ + " already exists");
      store_->AddNode(path_, create_class_);
      create_class_.clear();
    }
    auto& node = Node();
    for (auto& [name, value] : pending_) node.properties[name] = value;
    pending_.clear();
  }

  std::unique_ptr<MetabaseObject> Create(const std::string& class_name,
                                         const std::string& name) override {
    store_->Call("Create(" + Shown() + "," + class_name + "," + name + ")");
    Writable();
    return std::make_unique<MemoryObject>(store_, Node().path + "/" + name, class_name);
  }

  void Delete(const std::string& class_name, const std::string& name) override {
    store_->Call("Delete(" + Shown() + "," + class_name + "," + name + ")");
    Writable();
    const std::string child = Node().path + "/" + name;
    if (!store_->Find(child)) throw MetabaseError("no object " + child);
    store_->Erase(Key(child));
  }

  std::unique_ptr<MetabaseEnumerator> Enumerate() override;

  std::vector<std::string> GetDataPaths(const std::string& property, int attribute) override {
    store_->Call("GetDataPaths(" + Shown() + "," + property + "," + std::to_string(attribute) +
                 ")");
    Writable();
    std::vector<std::string> found;
    Collect(Node(), Key(property), &found);
    return found;
  }

  void AddExtensionFile(const std::string& path, bool allowed, const std::string& group_id,
                        bool can_delete, const std::string& description) override {
    store_->Call("AddExtensionFile(" + Shown() + "," + path + "," + (allowed ? "true" : "false") +
                 "," + group_id + "," + (can_delete ? "true" : "false") + "," + description + ")");
    auto& records = ServiceRecords();
    for (const auto& r : records) {
      if (EqualsIgnoreAsciiCase(r.path, path))
        throw MetabaseError("extension record exists: " + path);
    }
    records.push_back({path, allowed, group_id, can_delete, description});
  }

  void DeleteExtensionFileRecord(const std::string& path) override {
    store_->Call("DeleteExtensionFileRecord(" + Shown() + "," + path + ")");
    auto& records = ServiceRecords();
    const auto it = std::find_if(records.begin(), records.end(), [&](const auto& r) {
      return EqualsIgnoreAsciiCase(r.path, path);
    });
    if (it == records.end()) throw MetabaseError("no extension record for " + path);
    records.erase(it);
  }

 private:
  std::string Shown() const { return path_.empty() ? kNamespace : path_; }

  MemoryMetabase::Node& Node() {
    if (path_.empty()) throw MetabaseError("the namespace object has no such member");
    if (!create_class_.empty()) throw MetabaseError("object " + path_ + " is not yet created");
    return store_->Require(path_);
  }

  void Writable() {
    if (path_.empty()) throw MetabaseError("the namespace object has no such member");
    if (create_class_.empty()) store_->Require(path_);  // deleted under us?
  }

  const MemoryMetabase::Value& Read(const std::string& property) {
    const auto p = pending_.find(Key(property));
    if (p != pending_.end()) return p->second;
    Node();
    const auto* value = store_->Lookup(path_, property);
    if (!value) throw MetabaseError("property " + property + " not found at " + path_);
    return *value;
  }

  void Collect(const MemoryMetabase::Node& node, const std::string& key,
               std::vector<std::string>* out) {
    if (node.properties.count(key)) out->push_back("IIS://" + node.path);
    for (const auto& child : node.children) Collect(store_->Require(child), key, out);
  }

  std::vector<MemoryMetabase::ExtensionRecord>& ServiceRecords() {
    if (!EqualsIgnoreAsciiCase(Node().class_name, kServiceClass) || !store_->extension_methods) {
      throw MetabaseError("object " + path_ + " does not offer the extension-record methods");
    }
    return store_->extension_records;
  }

  MemoryMetabase* store_;
  std::string path_;
  std::string create_class_;
  std::map<std::string, MemoryMetabase::Value> pending_;
};

class MemoryElement : public MetabaseElement {
 public:
  MemoryElement(MemoryMetabase* store, std::string path) : store_(store), path_(std::move(path)) {}
  std::unique_ptr<MetabaseObject> AsObject() override {
    store_->Call("AsObject(" + path_ + ")");
    store_->Require(path_);
    return std::make_unique<MemoryObject>(store_, path_);
  }

 private:
  MemoryMetabase* store_;
  std::string path_;
};

// Walks a copy of the children taken when the enumerator was built.
class MemoryEnumerator : public MetabaseEnumerator {
 public:
  MemoryEnumerator(MemoryMetabase* store, std::string path, std::vector<std::string> children)
      : store_(store), path_(std::move(path)), children_(std::move(children)) {}
  std::unique_ptr<MetabaseElement> Next() override {
    store_->Call("Next(" + path_ + ")");
    if (next_ >= children_.size()) return nullptr;
    return std::make_unique<MemoryElement>(store_, children_[next_++]);
  }

 private:
  MemoryMetabase* store_;
  std::string path_;
  std::vector<std::string> children_;
  std::size_t next_ = 0;
};

std::unique_ptr<MetabaseEnumerator> MemoryObject::Enumerate() {
  store_->Call("Enumerate(" + Shown() + ")");
  std::vector<std::string> children;
  for (const auto& key : Node().children) children.push_back(store_->Require(key).path);
  return std::make_unique<MemoryEnumerator>(store_, path_, std::move(children));
}

MemoryMetabase::MemoryMetabase(const std::string& filter_load_order) {
  AddNode("localhost", "IIsComputer");
  AddNode("localhost/w3svc", kServiceClass);
  AddNode("localhost/w3svc/Filters", kFiltersClass);
  SetProperty("localhost/w3svc/Filters", kFilterLoadOrder, filter_load_order);
}

void MemoryMetabase::AddNode(const std::string& path, const std::string& class_name) {
  const std::string key = Key(path);
  if (auto* existing = Find(path)) {
    existing->class_name = class_name;
    return;
  }
  const std::string parent = Parent(path);
  if (!parent.empty()) Require(parent).children.push_back(key);
  nodes_[key] = Node{path, class_name, {}, {}};
}

void MemoryMetabase::AddSite(int number,
                             const std::optional<std::vector<std::string>>& script_maps) {
  const std::string site = "localhost/w3svc/" + std::to_string(number);
  AddNode(site, "IIsWebServer");
  AddNode(site + "/ROOT", "IIsWebVirtualDir");
  if (script_maps) SetProperty(site + "/ROOT", kScriptMaps, *script_maps);
}

void MemoryMetabase::SetProperty(const std::string& path, const std::string& name,
                                 const Value& value) {
  Require(path).properties[Key(name)] = value;
}

void MemoryMetabase::RemoveProperty(const std::string& path, const std::string& name) {
  Require(path).properties.erase(Key(name));
}

bool MemoryMetabase::HasNode(const std::string& path) const { return Find(path) != nullptr; }

std::optional<MemoryMetabase::Value> MemoryMetabase::Property(const std::string& path,
                                                              const std::string& name) const {
  const auto* node = Find(path);
  if (!node) return std::nullopt;
  const auto it = node->properties.find(Key(name));
  if (it == node->properties.end()) return std::nullopt;
  return it->second;
}

std::string MemoryMetabase::StringProperty(const std::string& path, const std::string& name) const {
  const auto value = Property(path, name);
  const auto* text = value ? std::get_if<std::string>(&*value) : nullptr;
  if (!text) throw MetabaseError("no text " + name + " at " + path);
  return *text;
}

std::vector<std::string> MemoryMetabase::ListProperty(const std::string& path,
                                                      const std::string& name) const {
  const auto value = Property(path, name);
  const auto* list = value ? std::get_if<std::vector<std::string>>(&*value) : nullptr;
  if (!list) throw MetabaseError("no list " + name + " at " + path);
  return *list;
}

void MemoryMetabase::FailOn(const std::string& prefix, int nth) { rules_.push_back({prefix, nth}); }

int MemoryMetabase::CountCalls(const std::string& prefix) const {
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const std::string& c) {
    return c.compare(0, prefix.size(), prefix) == 0;
  }));
}

std::unique_ptr<MetabaseObject> MemoryMetabase::OpenNamespace() {
  Call("OpenNamespace()");
  return std::make_unique<MemoryObject>(this, "");
}

std::unique_ptr<MetabaseObject> MemoryMetabase::OpenPath(const std::string& path,
                                                         MetabaseInterface as) {
  Call("OpenPath(" + path + "," + InterfaceName(as) + ")");
  if (!StartsWithIgnoreAsciiCase(path, "IIS://")) throw MetabaseError("not an IIS path: " + path);
  return std::make_unique<MemoryObject>(this, Require(path.substr(6)).path);
}

void MemoryMetabase::Call(const std::string& record) {
  calls_.push_back(record);
  for (auto& rule : rules_) {
    if (record.compare(0, rule.prefix.size(), rule.prefix) != 0) continue;
    ++rule.seen;
    if (rule.nth == 0 || rule.seen == rule.nth) throw MetabaseError("injected failure: " + record);
  }
}

MemoryMetabase::Node* MemoryMetabase::Find(const std::string& path) {
  const auto it = nodes_.find(Key(path));
  return it == nodes_.end() ? nullptr : &it->second;
}

const MemoryMetabase::Node* MemoryMetabase::Find(const std::string& path) const {
  const auto it = nodes_.find(Key(path));
  return it == nodes_.end() ? nullptr : &it->second;
}

MemoryMetabase::Node& MemoryMetabase::Require(const std::string& path) {
  auto* node = Find(path);
  if (!node) throw MetabaseError("no object at " + path);
  return *node;
}

const MemoryMetabase::Value* MemoryMetabase::Lookup(const std::string& path,
                                                    const std::string& name) const {
  for (std::string at = path; !at.empty(); at = Parent(at)) {
    const auto* node = Find(at);
    if (!node) return nullptr;
    const auto it = node->properties.find(Key(name));
    if (it != node->properties.end()) return &it->second;
    if (!Inheritable(name)) return nullptr;
  }
  return nullptr;
}

void MemoryMetabase::Erase(const std::string& key) {
  const auto it = nodes_.find(key);
  if (it == nodes_.end()) return;
  const auto children = it->second.children;
  for (const auto& child : children) Erase(child);
  const std::string parent = Key(Parent(it->second.path));
  nodes_.erase(key);
  if (auto p = nodes_.find(parent); p != nodes_.end()) {
    auto& siblings = p->second.children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), key), siblings.end());
  }
}

}  // namespace zelk::testing
