// The registrar: registration scripts, the library's resources, and the
// reading of the type library description.
//
// Scripts are parsed whole into a tree of ScriptKey before the registry is
// touched, so that a malformed script changes nothing; the tree is then
// applied inside one registry update, so that a failure half-way drops every
// change of the update.
#include "server/registrar.h"

#include <cctype>
#include <cstdlib>
#include <new>

#include "tarvovcard/platform/winnls.h"
#include "tarvovcard/text.h"
#include "tarvovcard/platform/winreg.h"

namespace tarvovcard::server {

namespace {

// ---------------------------------------------------------------------------
// Script scanner.
//
// Tokens: words (runs of characters other than white space, '=' and the
// quote), quoted texts ('...' with '' for a quote), '=' and the braces. A
// brace is a word of its own: "{" or "}" standing alone; a word that merely
// begins with a brace ({4C29BB05-...}) is a name.

struct Token {
  enum class Kind { kEnd, kWord, kQuoted, kEquals, kOpen, kClose };
  Kind kind = Kind::kEnd;
  std::string text;  // raw: variables not yet replaced
  int line = 1;
};

class ScriptScanner {
 public:
  explicit ScriptScanner(std::string_view text) : text_(text) {}

  // false with *error for an unterminated quoted text.
  bool Next(Token* token, std::string* error) {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
    token->line = line_;
    token->text.clear();
    if (pos_ == text_.size()) {
      token->kind = Token::Kind::kEnd;
      return true;
    }
    char c = text_[pos_];
    if (c == '=') {
      ++pos_;
      token->kind = Token::Kind::kEquals;
      return true;
    }
    if (c == '\'') {
      ++pos_;
      for (;;) {
        if (pos_ == text_.size()) {
          *error = "line " + std::to_string(token->line) + ": unterminated quoted text";
          return false;
        }
        char q = text_[pos_++];
        if (q == '\n') ++line_;
        if (q == '\'') {
          if (pos_ < text_.size() && text_[pos_] == '\'') {
            token->text += '\'';
            ++pos_;
            continue;
          }
          break;
        }
        token->text += q;
      }
      token->kind = Token::Kind::kQuoted;
      return true;
    }
    while (pos_ < text_.size()) {
      char w = text_[pos_];
      if (std::isspace(static_cast<unsigned char>(w)) || w == '=' || w == '\'') break;
      token->text += w;
      ++pos_;
    }
    token->kind = token->text == "{"   ? Token::Kind::kOpen
                  : token->text == "}" ? Token::Kind::kClose
                                       : Token::Kind::kWord;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

// ---------------------------------------------------------------------------
// Script parser.

class ScriptParser {
 public:
  ScriptParser(std::string_view text, const RegistrarVariables& variables, std::string* error)
      : scanner_(text), variables_(variables), error_(error) {}

  bool Parse(std::vector<ScriptKey>* keys) {
    if (!Advance()) return false;
    while (token_.kind != Token::Kind::kEnd) {
      if (token_.kind != Token::Kind::kWord) return Fail("a root key name was expected");
      if (!EqualsIgnoreAsciiCase(token_.text, "HKCR") &&
          !EqualsIgnoreAsciiCase(token_.text, "HKEY_CLASSES_ROOT"))
        return Fail("the root '" + token_.text + "' is not kept (only HKCR is)");
      if (!Advance()) return false;
      if (token_.kind != Token::Kind::kOpen) return Fail("'{' was expected after the root");
      if (!Advance() || !ParseBody(keys, nullptr)) return false;
    }
    return true;
  }

 private:
  bool Fail(const std::string& message) {
    *error_ = "line " + std::to_string(token_.line) + ": " + message;
    return false;
  }

  bool Advance() { return scanner_.Next(&token_, error_); }

  bool IsWord(std::string_view word) const {
    return token_.kind == Token::Kind::kWord && EqualsIgnoreAsciiCase(token_.text, word);
  }

  // Replaces %NAME% in the current token's text; %% is one %.
  bool Substitute(std::u16string* out) {
    const std::u16string text = FromUtf8(token_.text);
    out->clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
      char16_t c = text[i];
      if (c != u'%') {
        *out += c;
        continue;
      }
      std::size_t end = text.find(u'%', i + 1);
      if (end == std::u16string::npos) return Fail("a '%' without its closing '%'");
      std::u16string_view name(text.data() + i + 1, end - i - 1);
      if (name.empty()) {
        *out += u'%';
      } else {
        const std::u16string* value = nullptr;
        for (const auto& [n, v] : variables_) {
          if (n == name) value = &v;
        }
        if (!value) return Fail("unknown variable '" + token_.text + "'");
        *out += *value;
      }
      i = end;
    }
    return true;
  }

  bool ParseName(std::u16string* name) {
    if (token_.kind != Token::Kind::kWord && token_.kind != Token::Kind::kQuoted)
      return Fail("a key name was expected");
    if (!Substitute(name)) return false;
    if (name->empty() || name->find(u'\\') != std::u16string::npos || name->size() > 255)
      return Fail("'" + token_.text + "' is no key name");
    return Advance();
  }

  // "= s 'text'", the current token being '='.
  bool ParseValue(std::u16string* text) {
    if (!Advance()) return false;
    if (token_.kind != Token::Kind::kWord) return Fail("a value type was expected after '='");
    if (!EqualsIgnoreAsciiCase(token_.text, "s"))
      return Fail("value type '" + token_.text + "' is not kept (only s is)");
    if (!Advance()) return false;
    if (token_.kind != Token::Kind::kQuoted) return Fail("a quoted text was expected");
    if (!Substitute(text)) return false;
    return Advance();
  }

  // The inside of braces, the current token being the first after '{'; ends
  // after the '}'. owner is the key whose body this is (null for the root,
  // which has no values).
  bool ParseBody(std::vector<ScriptKey>* keys, ScriptKey* owner) {
    for (;;) {
      if (token_.kind == Token::Kind::kClose) return Advance();
      if (token_.kind == Token::Kind::kEnd) return Fail("'}' is missing");
      if (owner && IsWord("val")) {
        if (!Advance()) return false;
        ScriptValue value;
        if (token_.kind != Token::Kind::kWord && token_.kind != Token::Kind::kQuoted)
          return Fail("a value name was expected after 'val'");
        if (!Substitute(&value.name)) return false;
        if (value.name.empty()) return Fail("a value name was expected after 'val'");
        if (!Advance()) return false;
        if (token_.kind != Token::Kind::kEquals) return Fail("'=' was expected after the name");
        if (!ParseValue(&value.text)) return false;
        owner->values.push_back(std::move(value));
        continue;
      }
      ScriptKey key;
      if (!ParseKey(&key)) return false;
      keys->push_back(std::move(key));
    }
  }

  bool ParseKey(ScriptKey* key) {
    while (IsWord("NoRemove") || IsWord("ForceRemove") || IsWord("Delete")) {
      if (key->flag != ScriptKey::Flag::kNone) return Fail("a key may carry one flag only");
      key->flag = IsWord("NoRemove")      ? ScriptKey::Flag::kNoRemove
                  : IsWord("ForceRemove") ? ScriptKey::Flag::kForceRemove
                                          : ScriptKey::Flag::kDelete;
      if (!Advance()) return false;
    }
    if (!ParseName(&key->name)) return false;
    if (token_.kind == Token::Kind::kEquals) {
      std::u16string text;
      if (!ParseValue(&text)) return false;
      key->default_value = std::move(text);
    }
    if (token_.kind == Token::Kind::kOpen) {
      if (!Advance()) return false;
      return ParseBody(&key->subkeys, key);
    }
    return true;
  }

  ScriptScanner scanner_;
  const RegistrarVariables& variables_;
  std::string* error_;
  Token token_;
};

// ---------------------------------------------------------------------------
// Running a script.

class KeyHolder {
 public:
  KeyHolder() = default;
  KeyHolder(const KeyHolder&) = delete;
  KeyHolder& operator=(const KeyHolder&) = delete;
  ~KeyHolder() { Close(); }
  void Close() {
    if (key) RegCloseKey(key);
    key = nullptr;
  }
  HKEY key = nullptr;
};

LONG SetText(HKEY key, const char16_t* name, const std::u16string& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

LONG Missing(LONG r) {
  return r == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : r;
}

LONG RegisterKey(HKEY parent, const ScriptKey& k) {
  if (k.flag == ScriptKey::Flag::kDelete) return Missing(RegDeleteTreeW(parent, k.name.c_str()));
  if (k.flag == ScriptKey::Flag::kForceRemove) {
    if (LONG r = Missing(RegDeleteTreeW(parent, k.name.c_str()))) return r;
  }
  KeyHolder h;
  if (LONG r = RegCreateKeyExW(parent, k.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, &h.key, nullptr))
    return r;
  if (k.default_value) {
    if (LONG r = SetText(h.key, nullptr, *k.default_value)) return r;
  }
  for (const ScriptValue& v : k.values) {
    if (LONG r = SetText(h.key, v.name.c_str(), v.text)) return r;
  }
  for (const ScriptKey& sub : k.subkeys) {
    if (LONG r = RegisterKey(h.key, sub)) return r;
  }
  return ERROR_SUCCESS;
}

LONG UnregisterKey(HKEY parent, const ScriptKey& k) {
  if (k.flag == ScriptKey::Flag::kDelete) return ERROR_SUCCESS;
  if (k.flag == ScriptKey::Flag::kForceRemove)
    return Missing(RegDeleteTreeW(parent, k.name.c_str()));
  KeyHolder h;
  if (LONG r = RegOpenKeyExW(parent, k.name.c_str(), 0, KEY_ALL_ACCESS, &h.key)) return Missing(r);
  for (const ScriptKey& sub : k.subkeys) {
    if (LONG r = UnregisterKey(h.key, sub)) return r;
  }
  if (k.flag == ScriptKey::Flag::kNoRemove) return ERROR_SUCCESS;
  DWORD subkeys = 0;
  if (LONG r = RegQueryInfoKeyW(h.key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr))
    return r;
  if (subkeys == 0) {
    h.Close();
    return Missing(RegDeleteKeyW(parent, k.name.c_str()));
  }
  // Others still keep keys here: only what this script wrote goes.
  for (const ScriptValue& v : k.values) {
    if (LONG r = Missing(RegDeleteValueW(h.key, v.name.c_str()))) return r;
  }
  return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// IDL reader.

class IdlReader {
 public:
  IdlReader(std::string_view text, std::string* error) : s_(text), error_(error) {}

  bool Read(IdlLibrary* lib) {
    bool seen_library = false;
    for (;;) {
      Skip();
      if (pos_ == s_.size()) break;
      Attributes attrs;
      if (Peek('[') && !ReadAttributes(&attrs)) return false;
      std::string word = Ident();
      if (word == "import") {
        if (!SkipPast(';')) return false;
      } else if (word == "library") {
        if (seen_library) return Fail("a second library");
        seen_library = true;
        if (!ReadLibrary(attrs, lib)) return false;
      } else {
        return Fail("'" + word + "' is not expected here");
      }
    }
    if (!seen_library) return Fail("no library");
    return true;
  }

 private:
  using Attributes = std::vector<std::pair<std::string, std::string>>;

  bool Fail(const std::string& message) {
    int line = 1;
    for (std::size_t i = 0; i < pos_ && i < s_.size(); ++i) line += s_[i] == '\n';
    *error_ = "line " + std::to_string(line) + ": " + message;
    return false;
  }

  void Skip() {
    while (pos_ < s_.size()) {
      if (std::isspace(static_cast<unsigned char>(s_[pos_]))) {
        ++pos_;
      } else if (s_.substr(pos_, 2) == "//") {
        std::size_t end = s_.find('\n', pos_);
        pos_ = end == s_.npos ? s_.size() : end;
      } else if (s_.substr(pos_, 2) == "/*") {
        std::size_t end = s_.find("*/", pos_ + 2);
        pos_ = end == s_.npos ? s_.size() : end + 2;
      } else {
        break;
      }
    }
  }

  bool Peek(char c) {
    Skip();
    return pos_ < s_.size() && s_[pos_] == c;
  }

  bool Expect(char c) {
    if (!Peek(c)) return Fail(std::string("'") + c + "' was expected");
    ++pos_;
    return true;
  }

  std::string Ident() {
    Skip();
    std::size_t start = pos_;
    while (pos_ < s_.size() &&
           (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_'))
      ++pos_;
    return std::string(s_.substr(start, pos_ - start));
  }

  bool NeedIdent(std::string* out, const char* what) {
    *out = Ident();
    if (out->empty()) return Fail(std::string(what) + " was expected");
    return true;
  }

  // Moves past the next c outside strings and parentheses.
  bool SkipPast(char c) {
    int depth = 0;
    while (pos_ < s_.size()) {
      char x = s_[pos_++];
      if (x == '"') {
        while (pos_ < s_.size() && s_[pos_] != '"') pos_ += s_[pos_] == '\\' ? 2 : 1;
        ++pos_;
      } else if (x == c && depth == 0) {
        return true;
      } else if (x == '(') {
        ++depth;
      } else if (x == ')') {
        --depth;
      }
    }
    return Fail(std::string("'") + c + "' is missing");
  }

  // [name, name(argument), ...]; the argument raw, without its parentheses.
  bool ReadAttributes(Attributes* attrs) {
    if (!Expect('[')) return false;
    if (Peek(']')) {
      ++pos_;
      return true;
    }
    for (;;) {
      std::string name;
      if (!NeedIdent(&name, "an attribute")) return false;
      std::string arg;
      if (Peek('(')) {
        std::size_t start = ++pos_;
        if (!SkipPast(')')) return false;
        arg = std::string(s_.substr(start, pos_ - 1 - start));
      }
      attrs->emplace_back(std::move(name), std::move(arg));
      if (Peek(',')) {
        ++pos_;
        continue;
      }
      return Expect(']');
    }
  }

  static const std::string* Find(const Attributes& attrs, std::string_view name) {
    for (const auto& [n, v] : attrs)
      if (n == name) return &v;
    return nullptr;
  }

  static std::string Unquote(std::string s) {
    std::size_t a = s.find('"'), b = s.rfind('"');
    if (a == s.npos || b == a) return s;
    std::string out;
    for (std::size_t i = a + 1; i < b; ++i) {
      if (s[i] == '\\' && i + 1 < b) ++i;
      out += s[i];
    }
    return out;
  }

  bool Uuid(const Attributes& attrs, std::string* out) {
    const std::string* u = Find(attrs, "uuid");
    if (!u) return Fail("uuid is missing");
    std::string text;
    for (char c : *u)
      if (!std::isspace(static_cast<unsigned char>(c))) text += UpperAscii(c);
    if (text.size() != 36) return Fail("malformed uuid '" + *u + "'");
    *out = "{" + text + "}";
    return true;
  }

  bool Number(std::string_view text, long* out) {
    std::string t(text);
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
    std::size_t start = t.find_first_not_of(" \t\r\n");
    if (start == t.npos) return Fail("a number was expected");
    t = t.substr(start);
    char* end = nullptr;
    long long v = std::strtoll(t.c_str(), &end, 0);
    if (*end != '\0') return Fail("'" + t + "' is no number");
    // Dispatch identifiers such as 0x60010000 are 32-bit signed numbers.
    *out = static_cast<long>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
    return true;
  }

  bool ReadLibrary(const Attributes& attrs, IdlLibrary* lib) {
    if (!NeedIdent(&lib->name, "the library name")) return false;
    if (!Uuid(attrs, &lib->uuid)) return false;
    const std::string* version = Find(attrs, "version");
    lib->version = version ? *version : "0.0";
    if (const std::string* lcid = Find(attrs, "lcid")) {
      if (!Number(*lcid, &lib->lcid)) return false;
    }
    if (const std::string* help = Find(attrs, "helpstring")) lib->helpstring = Unquote(*help);
    if (!Expect('{')) return false;
    for (;;) {
      if (Peek('}')) {
        ++pos_;
        if (Peek(';')) ++pos_;
        return true;
      }
      if (pos_ >= s_.size()) return Fail("'}' of the library is missing");
      Attributes item;
      if (Peek('[') && !ReadAttributes(&item)) return false;
      std::string word = Ident();
      if (word == "importlib") {
        if (!SkipPast(';')) return false;
      } else if (word == "typedef") {
        if (!ReadEnum(lib)) return false;
      } else if (word == "interface") {
        if (!ReadInterface(item, lib)) return false;
      } else if (word == "coclass") {
        if (!ReadCoclass(item, lib)) return false;
      } else {
        return Fail("'" + word + "' is not expected in the library");
      }
    }
  }

  bool ReadEnum(IdlLibrary* lib) {
    Attributes attrs;
    if (Peek('[') && !ReadAttributes(&attrs)) return false;
    if (Ident() != "enum") return Fail("only enumerations are defined with typedef");
    IdlEnum e;
    if (!NeedIdent(&e.name, "the enumeration name") || !Expect('{')) return false;
    long next = 0;
    while (!Peek('}')) {
      Attributes member_attrs;
      if (Peek('[') && !ReadAttributes(&member_attrs)) return false;
      IdlEnumMember m;
      if (!NeedIdent(&m.name, "an enumeration member")) return false;
      m.value = next;
      if (Peek('=')) {
        ++pos_;
        Skip();
        std::size_t start = pos_;
        while (pos_ < s_.size() && s_[pos_] != ',' && s_[pos_] != '}') ++pos_;
        if (!Number(s_.substr(start, pos_ - start), &m.value)) return false;
      }
      if (const std::string* help = Find(member_attrs, "helpstring")) m.helpstring = Unquote(*help);
      next = m.value + 1;
      e.members.push_back(std::move(m));
      if (Peek(',')) ++pos_;
    }
    ++pos_;
    std::string alias;
    if (!NeedIdent(&alias, "the type name") || !Expect(';')) return false;
    lib->enums.push_back(std::move(e));
    return true;
  }

  bool ReadInterface(const Attributes& attrs, IdlLibrary* lib) {
    IdlInterface itf;
    if (!NeedIdent(&itf.name, "the interface name")) return false;
    if (Peek(';')) {  // forward declaration
      ++pos_;
      return true;
    }
    if (!Uuid(attrs, &itf.uuid) || !Expect(':') || !NeedIdent(&itf.base, "the base interface") ||
        !Expect('{'))
      return false;
    while (!Peek('}')) {
      if (pos_ >= s_.size()) return Fail("'}' of the interface is missing");
      Attributes method_attrs;
      if (Peek('[') && !ReadAttributes(&method_attrs)) return false;
      std::string type, name;
      if (!NeedIdent(&type, "a return type") || !NeedIdent(&name, "a method name")) return false;
      if (!Expect('(') || !SkipPast(')') || !Expect(';')) return false;
      IdlMethod m;
      m.name = Find(method_attrs, "propget")      ? "get_" + name
               : Find(method_attrs, "propput")    ? "put_" + name
               : Find(method_attrs, "propputref") ? "putref_" + name
                                                  : name;
      // Nothing here dispatches by identifier, but one that is no number
      // still makes the description unreadable rather than half read.
      long dispid = 0;
      if (const std::string* id = Find(method_attrs, "id"); id && !Number(*id, &dispid))
        return false;
      itf.methods.push_back(std::move(m));
    }
    ++pos_;
    if (!Expect(';')) return false;
    lib->interfaces.push_back(std::move(itf));
    return true;
  }

  bool ReadCoclass(const Attributes& attrs, IdlLibrary* lib) {
    IdlCoclass co;
    if (!NeedIdent(&co.name, "the class name") || !Uuid(attrs, &co.uuid)) return false;
    if (const std::string* help = Find(attrs, "helpstring")) co.helpstring = Unquote(*help);
    co.creatable = Find(attrs, "noncreatable") == nullptr;
    if (!Expect('{')) return false;
    while (!Peek('}')) {
      if (pos_ >= s_.size()) return Fail("'}' of the class is missing");
      Attributes item;
      if (Peek('[') && !ReadAttributes(&item)) return false;
      std::string kind = Ident(), name;
      if (kind != "interface") return Fail("'interface' was expected in the class");
      if (!NeedIdent(&name, "an interface name") || !Expect(';')) return false;
      if (Find(item, "default"))
        co.interfaces.insert(co.interfaces.begin(), name);
      else
        co.interfaces.push_back(name);
    }
    ++pos_;
    if (!Expect(';')) return false;
    lib->coclasses.push_back(std::move(co));
    return true;
  }

  std::string_view s_;
  std::string* error_;
  std::size_t pos_ = 0;
};

std::string Quoted(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

}  // namespace

std::optional<std::string_view> FindResource(std::string_view type, int number) noexcept {
  if (EqualsIgnoreAsciiCase(type, "STRING") && number == 100) return std::string_view("TarvovCard");
  for (const EmbeddedResource& r : EmbeddedResources()) {
    if (r.number == number && EqualsIgnoreAsciiCase(r.type, type)) return r.text;
  }
  return std::nullopt;
}

HRESULT ParseRegistrationScript(std::string_view script, const RegistrarVariables& variables,
                                std::vector<ScriptKey>* keys, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  std::vector<ScriptKey> parsed;
  ScriptParser parser(script, variables, error);
  if (!parser.Parse(&parsed)) return kScriptError;
  *keys = std::move(parsed);
  return S_OK;
}

HRESULT RunRegistrationScript(std::string_view script, bool do_register,
                              const RegistrarVariables& variables, std::string* error) {
  std::vector<ScriptKey> keys;
  if (HRESULT hr = ParseRegistrationScript(script, variables, &keys, error); FAILED(hr)) return hr;
  if (LONG r = RegBeginUpdate()) return HRESULT_FROM_WIN32(static_cast<DWORD>(r));
  LONG r = ERROR_SUCCESS;
  for (const ScriptKey& key : keys) {
    r = do_register ? RegisterKey(HKEY_CLASSES_ROOT, key) : UnregisterKey(HKEY_CLASSES_ROOT, key);
    if (r != ERROR_SUCCESS) break;
  }
  LONG end = RegEndUpdate(r == ERROR_SUCCESS ? TRUE : FALSE);
  if (r == ERROR_SUCCESS) r = end;
  if (r != ERROR_SUCCESS && error) *error = "registry error " + std::to_string(r);
  return r == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(r));
}

HRESULT UpdateRegistryFromResource(int number, bool do_register,
                                   const RegistrarVariables& variables) noexcept {
  try {
    auto script = FindResource("REGISTRY", number);
    if (!script) return HRESULT_FROM_WIN32(1814);  // ERROR_RESOURCE_NAME_NOT_FOUND
    return RunRegistrationScript(*script, do_register, variables);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

bool ReadIdl(std::string_view text, IdlLibrary* library, std::string* error) {
  std::string ignored;
  IdlLibrary lib;
  IdlReader reader(text, error ? error : &ignored);
  if (!reader.Read(&lib)) return false;
  *library = std::move(lib);
  return true;
}

std::string TypeLibraryScript(const IdlLibrary& library) {
  // The proxy-stub class of automation-compatible interfaces.
  constexpr std::string_view kAutomationProxy = "{00020424-0000-0000-C000-000000000046}";
  std::string s;
  s += "HKCR\n{\n";
  s += "\tNoRemove TypeLib\n\t{\n";
  s += "\t\t" + Quoted(library.uuid) + "\n\t\t{\n";
  s += "\t\t\tForceRemove " + Quoted(library.version) + " = s " + Quoted(library.helpstring) +
       "\n\t\t\t{\n";
  s += "\t\t\t\t'0'\n\t\t\t\t{\n";
  s += "\t\t\t\t\t" + std::string(kTypeLibPlatformKey) + " = s '%MODULE%'\n";
  s += "\t\t\t\t}\n";
  s += "\t\t\t\tFLAGS = s '0'\n";
  s += "\t\t\t\tHELPDIR = s '%HELPDIR%'\n";
  s += "\t\t\t}\n\t\t}\n\t}\n";
  s += "\tNoRemove Interface\n\t{\n";
  for (const IdlInterface& itf : library.interfaces) {
    s += "\t\tForceRemove " + Quoted(itf.uuid) + " = s " + Quoted(itf.name) + "\n\t\t{\n";
    s += "\t\t\tProxyStubClsid = s " + Quoted(kAutomationProxy) + "\n";
    s += "\t\t\tProxyStubClsid32 = s " + Quoted(kAutomationProxy) + "\n";
    s += "\t\t\tTypeLib = s " + Quoted(library.uuid) + "\n\t\t\t{\n";
    s += "\t\t\t\tval Version = s " + Quoted(library.version) + "\n";
    s += "\t\t\t}\n\t\t}\n";
  }
  s += "\t}\n}\n";
  return s;
}

}  // namespace tarvovcard::server
