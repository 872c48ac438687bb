#include "manager/iis/metabase.h"

#include <climits>
#include <cstdio>
#include <exception>

#include "manager/common/text_fields.h"

namespace zelk::manager {

std::unique_ptr<MetabaseObject> UnavailableMetabase::OpenNamespace() {
  throw MetabaseError("IIS is not installed on this system (no IISNamespace object)");
}

std::unique_ptr<MetabaseObject> UnavailableMetabase::OpenPath(const std::string& path,
                                                              MetabaseInterface) {
  throw MetabaseError("IIS is not installed on this system (cannot open " + path + ")");
}

std::vector<std::string> SplitText(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  std::string::size_type start = 0;
  for (;;) {
    const auto at = text.find(separator, start);
    if (at == std::string::npos) break;
    pieces.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

std::string OwnScriptMap(const std::string& module_path) { return "*," + module_path + ",0,*"; }

bool IsOwnScriptMap(const std::string& value) {
  return GetDelimitedField(value, ",", 2).find(kModuleFileName) != std::string::npos;
}

void AddOwnScriptMap(std::vector<std::string>* values, const std::string& module_path) {
  bool replaced = false;
  for (auto& value : *values) {
    if (IsOwnScriptMap(value)) {
      value = OwnScriptMap(module_path);
      replaced = true;
    }
  }
  if (!replaced) values->push_back(OwnScriptMap(module_path));
}

bool RemoveOwnScriptMap(std::vector<std::string>* values) {
  for (std::size_t i = 0; i < values->size(); ++i) {
    if (!IsOwnScriptMap((*values)[i])) continue;
    if (i + 1 != values->size()) (*values)[i] = values->back();
    values->pop_back();
    return true;
  }
  return false;
}

namespace {

std::unique_ptr<MetabaseObject> OpenFilters(Metabase& metabase) {
  auto names = metabase.OpenNamespace();
  auto service = names->GetObject(kServiceClass, kServiceRelativePath);
  return service->GetObject(kFiltersClass, kFiltersRelativePath);
}

// Steps 2 to 4 of the script-map edit on an object opened as IADs. The list is
// written back on add even when it did not change; remove writes only when it
// took a value out.
void EditScriptMaps(MetabaseObject& object, bool add, const std::string& module_path) {
  auto values = object.GetStringList(kScriptMaps);
  if (add) {
    AddOwnScriptMap(&values, module_path);
  } else if (!RemoveOwnScriptMap(&values)) {
    return;
  }
  object.PutStringList(kScriptMaps, values);
  object.SetInfo();
}

}  // namespace

bool IsIisFilterInstalled(Metabase& metabase, const std::string& filter_name) {
  try {
    auto filters = OpenFilters(metabase);
    for (const auto& piece : SplitText(filters->GetString(kFilterLoadOrder), ',')) {
      if (piece == filter_name) return true;
    }
  } catch (const std::exception&) {
  }
  return false;
}

bool AddIisFilter(Metabase& metabase, const std::string& filter_name,
                  const std::string& module_path, const std::string& description) {
  try {
    auto filters = OpenFilters(metabase);
    const std::string order = filters->GetString(kFilterLoadOrder) + "," + filter_name;
    filters->PutString(kFilterLoadOrder, order);
    filters->SetInfo();
    auto filter = filters->Create(kFilterClass, filter_name);
    filter->PutString("FilterPath", module_path);
    filter->PutString("FilterDescription", description);
    filter->SetInfo();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool RemoveIisFilter(Metabase& metabase, const std::string& filter_name) {
  try {
    auto filters = OpenFilters(metabase);
    std::string joined;
    bool first = true;
    for (const auto& piece : SplitText(filters->GetString(kFilterLoadOrder), ',')) {
      if (piece == filter_name) continue;
      if (!first) joined += ',';
      joined += piece;
      first = false;
    }
    if (filters->GetString(kFilterLoadOrder) != joined) {
      filters->PutString(kFilterLoadOrder, joined);
      filters->SetInfo();
    }
    // The collection's class name, as the metabase expects for its children.
    filters->Delete(kFiltersClass, filter_name);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool SetWebServiceExtension(Metabase& metabase, ExtensionOperation operation,
                            const std::string& module_path) {
  try {
    auto names = metabase.OpenNamespace();
    auto service = names->GetObject(kServiceClass, kServiceRelativePath);
    if (operation == ExtensionOperation::kDeleteRecord) {
      service->DeleteExtensionFileRecord(module_path);
    } else {
      service->AddExtensionFile(module_path, true, kExtensionGroupId, true, kExtensionDescription);
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

int SetServiceScriptMap(Metabase& metabase, ScriptMapMode mode, const std::string& module_path) {
  try {
    auto service = metabase.OpenPath(kServicePath, MetabaseInterface::kIADs);
    EditScriptMaps(*service, mode == ScriptMapMode::kAdd, module_path);
    return -1;
  } catch (const std::exception&) {
    return 0;
  }
}

int SetSiteScriptMap(Metabase& metabase, bool add, int site_number,
                     const std::string& module_path) {
  char root[64];
  std::snprintf(root, sizeof root, "IIS://Localhost/w3svc/%d/ROOT", site_number);
  try {
    auto base = metabase.OpenPath(root, MetabaseInterface::kIISBaseObject);
    if (base->GetDataPaths(kScriptMaps, 1).empty()) return 0;
    auto object = metabase.OpenPath(root, MetabaseInterface::kIADs);
    EditScriptMaps(*object, add, module_path);
    return -1;
  } catch (const std::exception&) {
    return 0;
  }
}

bool ParseSiteNumber(const std::string& name, int* number) {
  // IIS 6 numbers new sites from a hash of their name, so ten-digit numbers
  // are ordinary; anything past INT_MAX cannot be a site of ours.
  if (name.empty()) return false;
  long long value = 0;
  for (char c : name) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return false;
  }
  *number = static_cast<int>(value);
  return true;
}

void SetAllSitesScriptMap(Metabase& metabase, bool add, const std::string& module_path) {
  std::unique_ptr<MetabaseEnumerator> children;
  try {
    children = metabase.OpenPath(kServicePath, MetabaseInterface::kIADsContainer)->Enumerate();
  } catch (const std::exception&) {
    return;
  }
  for (;;) {
    std::unique_ptr<MetabaseElement> element;
    try {
      element = children->Next();
    } catch (const std::exception&) {
      return;  // the enumerator reported a failure: the walk ends here
    }
    if (!element) return;
    // Not caught: a child that cannot be read ends the whole operation.
    const std::string name = element->AsObject()->Name();
    int site = 0;
    if (ParseSiteNumber(name, &site)) SetSiteScriptMap(metabase, add, site, module_path);
  }
}

}  // namespace zelk::manager
