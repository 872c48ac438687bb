// The manager's vocabulary of IIS metabase operations, written against a small
// abstract metabase so that it runs (and is tested) without IIS.
//
// The abstract metabase mirrors what the IIS provider of ADSI offers and
// nothing more: the namespace object with GetObject, opening an object by its
// full path, property reads and writes with an explicit commit, creating and
// deleting a child, enumerating children, GetDataPaths and the web service's
// two extension-record methods. Every call either succeeds or throws
// MetabaseError; the operations below catch those failures and return plain
// results, except where SetAllSitesScriptMap says otherwise.
//
// Objects are created per operation and released before it returns; nothing is
// cached between operations. Not thread-safe: the manager calls all of this on
// its main thread (which, on Windows, has COM initialised).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace zelk::manager {

// A failed metabase call: IIS absent or stopped, no rights, no such object or
// property, a value of the wrong type, a method the object does not offer.
class MetabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The interface an object is opened as (ADsGetObject's interface identifier).
// Every object offers the calls below; an implementation may refuse to open a
// path as an interface it does not support there.
enum class MetabaseInterface { kIADs, kIADsContainer, kIISBaseObject };

class MetabaseObject;

// One element delivered by an enumerator (a VARIANT holding an IDispatch under
// ADSI). Turning it into an object may fail.
class MetabaseElement {
 public:
  virtual ~MetabaseElement() = default;
  virtual std::unique_ptr<MetabaseObject> AsObject() = 0;
};

class MetabaseEnumerator {
 public:
  virtual ~MetabaseEnumerator() = default;
  // The next child, or null when there are no more. Throws when the
  // enumerator reports a failure.
  virtual std::unique_ptr<MetabaseElement> Next() = 0;
};

// An open metabase object. Property writes stay in the object until SetInfo;
// reads after a write see the written value.
class MetabaseObject {
 public:
  virtual ~MetabaseObject() = default;
  MetabaseObject() = default;
  MetabaseObject(const MetabaseObject&) = delete;
  MetabaseObject& operator=(const MetabaseObject&) = delete;

  // The object's relative name (IADs::get_Name).
  virtual std::string Name() = 0;

  // GetObject on the namespace object or a container: the child reached by a
  // relative path, which must be of the given class.
  virtual std::unique_ptr<MetabaseObject> GetObject(const std::string& class_name,
                                                    const std::string& relative_path) = 0;

  // A single-valued string property; throws when it is missing or not a text.
  virtual std::string GetString(const std::string& property) = 0;
  // A multi-valued string property; throws when it is missing or not a list.
  virtual std::vector<std::string> GetStringList(const std::string& property) = 0;
  virtual void PutString(const std::string& property, const std::string& value) = 0;
  virtual void PutStringList(const std::string& property,
                             const std::vector<std::string>& values) = 0;
  // Writes the object's pending changes to the store (and, for an object made
  // by Create, creates it there).
  virtual void SetInfo() = 0;

  // IADsContainer: a new child that exists in the store after its SetInfo.
  virtual std::unique_ptr<MetabaseObject> Create(const std::string& class_name,
                                                 const std::string& name) = 0;
  virtual void Delete(const std::string& class_name, const std::string& name) = 0;
  virtual std::unique_ptr<MetabaseEnumerator> Enumerate() = 0;

  // IISBaseObject::GetDataPaths: the full paths at or below this object where
  // the property is set. attribute 1 asks for any property, 0 for inheritable
  // ones only.
  virtual std::vector<std::string> GetDataPaths(const std::string& property, int attribute) = 0;

  // The web service's extension-record methods (IIS 6 and later).
  virtual void AddExtensionFile(const std::string& path, bool allowed, const std::string& group_id,
                                bool can_delete, const std::string& description) = 0;
  virtual void DeleteExtensionFileRecord(const std::string& path) = 0;
};

// The store itself: where the operations start.
class Metabase {
 public:
  virtual ~Metabase() = default;
  // The "IISNamespace" object (created by program identifier under COM).
  virtual std::unique_ptr<MetabaseObject> OpenNamespace() = 0;
  // ADsGetObject on a full path such as "IIS://Localhost/w3svc".
  virtual std::unique_ptr<MetabaseObject> OpenPath(const std::string& path,
                                                   MetabaseInterface as) = 0;
};

// The metabase of a system without IIS (and the stand-in on Linux): every call
// fails as the ADSI calls do when IIS is not installed.
class UnavailableMetabase : public Metabase {
 public:
  std::unique_ptr<MetabaseObject> OpenNamespace() override;
  std::unique_ptr<MetabaseObject> OpenPath(const std::string& path, MetabaseInterface as) override;
};

// Names and values the operations and their callers share.
inline constexpr char kServicePath[] = "IIS://Localhost/w3svc";
inline constexpr char kServiceRelativePath[] = "localhost/w3svc";
inline constexpr char kServiceClass[] = "IIsWebService";
inline constexpr char kFiltersClass[] = "IISFilters";
inline constexpr char kFiltersRelativePath[] = "Filters";
inline constexpr char kFilterClass[] = "IIsFilter";
inline constexpr char kFilterLoadOrder[] = "FilterLoadOrder";
inline constexpr char kScriptMaps[] = "ScriptMaps";
inline constexpr char kModuleFileName[] = "ZelkWAF.dll";
inline constexpr char kExtensionGroupId[] = "ZelkWAF";
inline constexpr char kExtensionDescription[] = "ZeLk Web Firewall";

// Splits text at every separator: "" gives no pieces, "a,,b" gives a, "", b and
// "a," gives a, "". Nothing is trimmed.
std::vector<std::string> SplitText(const std::string& text, char separator);

// "*," + module path + ",0,*": the wildcard script map routing every request
// through the module's extension entry point.
std::string OwnScriptMap(const std::string& module_path);
// True when the value's second comma-separated field contains "ZelkWAF.dll"
// (case-sensitive): a value this manager wrote, whatever folder it names.
bool IsOwnScriptMap(const std::string& value);
// The two list edits of the script-map operations, on their own.
// Add: every own value becomes OwnScriptMap(path); none found appends it.
void AddOwnScriptMap(std::vector<std::string>* values, const std::string& module_path);
// Remove: the first own value is replaced by the last element and the list
// shortened by one. Returns false (list untouched) when there is none.
bool RemoveOwnScriptMap(std::vector<std::string>* values);

// True when name is an entry of the web service's FilterLoadOrder (exact,
// case-sensitive). Any failure gives false.
bool IsIisFilterInstalled(Metabase& metabase, const std::string& filter_name);

// Appends "," + name to FilterLoadOrder (committed), then creates the filter
// object with FilterPath and FilterDescription. False on any failure; what was
// committed before the failure stays.
bool AddIisFilter(Metabase& metabase, const std::string& filter_name,
                  const std::string& module_path, const std::string& description);

// Drops every entry equal to name from FilterLoadOrder (written only when that
// changes it), then deletes the filter object. False on any failure; a failed
// delete leaves the load order already cleaned.
bool RemoveIisFilter(Metabase& metabase, const std::string& filter_name);

enum class ExtensionOperation { kAdd, kDeleteRecord };
bool SetWebServiceExtension(Metabase& metabase, ExtensionOperation operation,
                            const std::string& module_path);

enum class ScriptMapMode { kAdd = 1, kRemove = 2 };
// -1 when the steps ran, 0 when the web service could not be opened or a step
// failed.
int SetServiceScriptMap(Metabase& metabase, ScriptMapMode mode, const std::string& module_path);

// The same edit on the root of one web site that has script maps of its own
// (at or below the root). -1 when the steps ran, 0 otherwise.
int SetSiteScriptMap(Metabase& metabase, bool add, int site_number, const std::string& module_path);

// SetSiteScriptMap for every numbered child of the web service. An enumerator
// that cannot be built or that reports a failure ends the walk quietly; a
// child that cannot be turned into an object or named throws MetabaseError to
// the caller.
void SetAllSitesScriptMap(Metabase& metabase, bool add, const std::string& module_path);

// The site number a web-service child's name stands for: a name made only of
// decimal digits that fits an int. Other children (Filters, AppPools, ...)
// give false.
bool ParseSiteNumber(const std::string& name, int* number);

}  // namespace zelk::manager
