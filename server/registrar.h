// The registrar: the library's resources, its registration scripts and the
// summary of its type library description.
//
// Registration scripts are text of this form:
//
//   HKCR
//   {
//       TarvovCard.VCard = s 'VCard Class'
//       {
//           CLSID = s '{4C29BB05-071B-4A99-89CB-F4A933F346B1}'
//       }
//       NoRemove CLSID
//       {
//           ForceRemove {4C29BB05-071B-4A99-89CB-F4A933F346B1} = s 'VCard Class'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//   }
//
// - The root is HKCR (or HKEY_CLASSES_ROOT), the only root the registry keeps.
// - A key is a name, optionally "= s 'text'" for its default value, and
//   optionally its body in braces: named values ("val Name = s 'text'") and
//   sub-keys. Names are words or 'quoted'; a quote inside a quoted text is
//   written twice. Only string values (s) are kept.
// - Flags before a key name: NoRemove (unregistration keeps the key and only
//   works inside it), ForceRemove (registration deletes the key with its
//   subtree before writing it; unregistration deletes the whole subtree),
//   Delete (registration deletes the key; unregistration leaves it).
// - Unregistration deletes a plain key after its scripted contents once it has
//   no sub-keys left (its values go with it); when sub-keys of others remain,
//   it keeps the key and removes only the scripted named values.
// - %NAME% in names and texts is replaced by the variable NAME (%MODULE% is
//   the library's full path); %% stands for one %. An unknown variable is an
//   error.
// - Keywords and root names compare without regard to case.
//
// A script is parsed whole before anything is changed, and all its changes
// are made in one registry update: a script with an error changes nothing and
// gives kScriptError; a registry failure drops the update and gives its code.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tarvovcard/platform/wtypes.h"

namespace tarvovcard::server {

// The status of a script that cannot be parsed (the platform registrar's code).
inline constexpr HRESULT kScriptError = static_cast<HRESULT>(0x80020009);

// ---------------------------------------------------------------------------
// Resources stored in the library: REGISTRY 101..109 (the scripts), TYPELIB 1
// (the type library description), STRING 100 (the module name).

struct EmbeddedResource {
  const char* type;
  int number;
  std::string_view text;
};

// Every resource, from the source generated at build time out of
// server/scripts/*.rgs, server/tarvovcard.idl and the module name.
std::span<const EmbeddedResource> EmbeddedResources() noexcept;

// The text of a resource (type without regard to case); nullopt when the
// library has none of that type and number.
std::optional<std::string_view> FindResource(std::string_view type, int number) noexcept;

// ---------------------------------------------------------------------------
// Registration scripts.

using RegistrarVariables = std::vector<std::pair<std::u16string, std::u16string>>;

struct ScriptValue {
  std::u16string name;
  std::u16string text;
};

struct ScriptKey {
  enum class Flag { kNone, kNoRemove, kForceRemove, kDelete };
  Flag flag = Flag::kNone;
  std::u16string name;
  std::optional<std::u16string> default_value;
  std::vector<ScriptValue> values;
  std::vector<ScriptKey> subkeys;
};

// Parses a script (UTF-8 text) with its variables replaced: the keys under
// HKEY_CLASSES_ROOT, in script order. kScriptError with a message naming the
// line in *error when the script is malformed.
HRESULT ParseRegistrationScript(std::string_view script, const RegistrarVariables& variables,
                                std::vector<ScriptKey>* keys, std::string* error);

// Parses and runs a script in register or unregister mode, as one registry
// update (joining an update the caller has open).
HRESULT RunRegistrationScript(std::string_view script, bool do_register,
                              const RegistrarVariables& variables, std::string* error = nullptr);

// Runs the REGISTRY resource of that number.
HRESULT UpdateRegistryFromResource(int number, bool do_register,
                                   const RegistrarVariables& variables) noexcept;

// ---------------------------------------------------------------------------
// The type library description (IDL): what registration and the checks of the
// client header need from it.

struct IdlMethod {
  std::string name;  // with get_, put_ or putref_ for property accessors
};

struct IdlInterface {
  std::string name;
  std::string uuid;  // braced, upper case
  std::string base;
  std::vector<IdlMethod> methods;  // in slot order
};

struct IdlEnumMember {
  std::string name;
  long value = 0;
  std::string helpstring;
};

struct IdlEnum {
  std::string name;
  std::vector<IdlEnumMember> members;
};

struct IdlCoclass {
  std::string name;
  std::string uuid;
  std::string helpstring;
  bool creatable = true;
  std::vector<std::string> interfaces;  // the default one first
};

struct IdlLibrary {
  std::string name;
  std::string uuid;
  std::string version;  // "1.0"
  long lcid = 0;
  std::string helpstring;
  std::vector<IdlInterface> interfaces;
  std::vector<IdlEnum> enums;
  std::vector<IdlCoclass> coclasses;
};

// Reads the IDL subset the description is written in: imports, one library
// block holding typedef'd enumerations, interfaces (forward declarations
// allowed) and coclasses, with their attribute lists. false with a message
// naming the line in *error for anything else.
bool ReadIdl(std::string_view text, IdlLibrary* library, std::string* error);

// The registration script of a type library: TypeLib\{LIBID}\<version> with
// its help string, \0\<platform> = %MODULE%, FLAGS and HELPDIR = %HELPDIR%,
// and Interface\{IID} for each interface, naming the library.
std::string TypeLibraryScript(const IdlLibrary& library);

// The platform key under a type library's locale that names its file.
inline constexpr const char* kTypeLibPlatformKey = sizeof(void*) == 8 ? "linux64" : "linux32";

}  // namespace tarvovcard::server
