#include "desktop/Integration.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "base/AtomicFile.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "forms/Texts.h"

extern char** environ;

namespace desktop {

using forms::Language;

namespace {

constexpr const char* kConfigurationEntryId = "vexilo-configuration.desktop";
constexpr const char* kOpenWithEntryId = "vexilo-open-with.desktop";
constexpr const char* kSendToName = "Corvana Vexilo";
constexpr const char* kIconName = "com.corvana.Vexilo";
constexpr const char* kDefaultApplications = "[Default Applications]";

bool Has(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

bool HasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; });
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// ---- Files ----

// A regular file only: a named pipe in the user's folders must not hang the program.
bool ReadWholeFile(const std::string& path, std::string& content) {
  const int fd = base::OpenRegularFile(path);
  if (fd < 0) return false;
  content.clear();
  char buffer[65536];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return n == 0;
}

// Creates the folders on the way; the file itself replaces the old one only when complete. A
// symbolic link stays and the file it names is replaced. Without `mode` (the user's own files,
// which other programs write too) a replaced file keeps its permission bits.
bool WriteWholeFile(const std::string& path, const std::string& content, std::optional<mode_t> mode = 0644) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  return base::WriteFileAtomically(path, content, nullptr, {.permissions = mode, .durable = false});
}

// The user's list of default applications and Thunar's actions belong to the user and other
// programs: they keep their bits, and a link to them stays a link.
constexpr std::optional<mode_t> kSharedFileBits = std::nullopt;

void DeleteFile(const std::string& path) { unlink(path.c_str()); }

// ---- Command lines ----

// The program path in double quotation marks as a shell reads it: \ " $ and ` escaped.
std::string ShellQuoted(const std::string& path) {
  std::string out = "\"";
  for (char c : path) {
    if (c == '"' || c == '\\' || c == '$' || c == '`') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The program path as every command line written quotes it: in double quotation marks and with
// "%" doubled, since desktop entries, Nemo actions and Thunar's actions all read "%" followed by
// a letter as a placeholder for the selected files ("/opt/100%fun/vexilo" must not turn "%f"
// into a file name).
std::string CommandQuoted(const std::string& path) { return base::ReplaceAll(ShellQuoted(path), "%", "%%"); }

// The Exec value of a desktop entry: quoted as above, and every backslash escaped once more
// because the value itself is an escaped string.
std::string DesktopExecQuoted(const std::string& path) {
  return base::ReplaceAll(CommandQuoted(path), "\\", "\\\\");
}

// The value of a key in a group of a desktop-entry style file, as written; found tells whether
// the key is there.
std::string KeyValue(const std::string& content, std::string_view group, std::string_view key, bool& found) {
  found = false;
  bool inGroup = false;
  for (const std::string& raw : base::SplitAt(content, '\n')) {
    const std::string line = base::TrimBlanks(raw);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inGroup = line.size() == group.size() + 2 && line.compare(1, group.size(), group) == 0 && line.back() == ']';
      continue;
    }
    if (!inGroup) continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos || base::TrimBlanks(line.substr(0, eq)) != key) continue;
    found = true;
    return base::TrimBlanks(line.substr(eq + 1));
  }
  return {};
}

bool FileKeyEquals(const std::string& path, std::string_view group, std::string_view key, const std::string& value) {
  std::string content;
  if (!ReadWholeFile(path, content)) return false;
  bool found = false;
  return KeyValue(content, group, key, found) == value && found;
}

std::string JoinList(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += item + ";";
  return out;
}

// ---- Thunar's uca.xml ----

using XmlDoc = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

const char* Name(const xmlNode* node) { return reinterpret_cast<const char*>(node->name); }

std::string NodeText(xmlNode* node) {
  xmlChar* text = xmlNodeGetContent(node);
  std::string out = text ? reinterpret_cast<const char*>(text) : "";
  xmlFree(text);
  return out;
}

xmlNode* Child(xmlNode* parent, const char* name) {
  for (xmlNode* c = parent->children; c; c = c->next)
    if (c->type == XML_ELEMENT_NODE && std::strcmp(Name(c), name) == 0) return c;
  return nullptr;
}

// The user's actions, or a new empty list when the file does not exist. Null when the file
// exists but is no action list: it is then left alone rather than replaced.
XmlDoc LoadThunarActions(const std::string& path) {
  if (!base::IsFile(path)) {
    XmlDoc doc(xmlNewDoc(BAD_CAST "1.0"), xmlFreeDoc);
    xmlDocSetRootElement(doc.get(), xmlNewNode(nullptr, BAD_CAST "actions"));
    return doc;
  }
  std::string content;
  if (!ReadWholeFile(path, content) || content.size() > INT_MAX) return XmlDoc(nullptr, xmlFreeDoc);
  XmlDoc doc(xmlReadMemory(content.data(), static_cast<int>(content.size()), path.c_str(), nullptr,
                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
             xmlFreeDoc);
  if (!doc) return XmlDoc(nullptr, xmlFreeDoc);
  xmlNode* root = xmlDocGetRootElement(doc.get());
  if (!root || std::strcmp(Name(root), "actions") != 0) return XmlDoc(nullptr, xmlFreeDoc);
  return doc;
}

// The actions of the list whose unique-id is the given one.
std::vector<xmlNode*> ThunarActions(xmlDoc* doc, const std::string& id) {
  std::vector<xmlNode*> found;
  for (xmlNode* a = xmlDocGetRootElement(doc)->children; a; a = a->next) {
    if (a->type != XML_ELEMENT_NODE || std::strcmp(Name(a), "action") != 0) continue;
    if (xmlNode* uid = Child(a, "unique-id"); uid && NodeText(uid) == id) found.push_back(a);
  }
  return found;
}

bool SaveThunarActions(xmlDoc* doc, const std::string& path) {
  xmlChar* buffer = nullptr;
  int size = 0;
  xmlDocDumpFormatMemoryEnc(doc, &buffer, &size, "UTF-8", 1);
  if (!buffer) return false;
  const std::string content(reinterpret_cast<const char*>(buffer), static_cast<size_t>(size));
  xmlFree(buffer);
  return WriteWholeFile(path, content, kSharedFileBits);
}

// A text in every language of the list: the default language's first, then each other one's
// under its code.
struct LocalText {
  std::string code;
  std::string text;
};
using LocalTexts = std::vector<LocalText>;

LocalTexts InEveryLanguage(std::string_view key) {
  LocalTexts texts;
  for (const forms::LanguageInfo& info : forms::Languages())
    texts.push_back({info.code, forms::Text(Language(info.code), forms::TextGroup::Shortcuts, key)});
  return texts;
}

struct ThunarAction {
  std::string id;
  LocalTexts caption;
  std::string command;
  std::string patterns;
  bool directories = false;
  bool files = false;
};

xmlNode* AddTextChild(xmlNode* parent, const char* name, const std::string& text) {
  xmlNode* node = xmlNewChild(parent, nullptr, BAD_CAST name, nullptr);
  if (!text.empty()) xmlNodeAddContent(node, BAD_CAST text.c_str());  // escapes & and <
  return node;
}

// The element once in the default language and once more for each other one, marked with
// xml:lang, as Thunar and the MIME database read them.
void AddLocalChildren(xmlNode* parent, const char* name, const LocalTexts& texts) {
  for (size_t i = 0; i < texts.size(); ++i) {
    xmlNode* node = AddTextChild(parent, name, texts[i].text);
    if (i > 0) xmlNodeSetLang(node, BAD_CAST texts[i].code.c_str());
  }
}

// Writes the actions in place of earlier ones with the same ids; the user's others stay.
bool PutThunarActions(const std::string& path, const std::vector<ThunarAction>& actions) {
  XmlDoc doc = LoadThunarActions(path);
  if (!doc) return false;
  xmlNode* root = xmlDocGetRootElement(doc.get());
  for (const ThunarAction& action : actions) {
    for (xmlNode* old : ThunarActions(doc.get(), action.id)) {
      xmlUnlinkNode(old);
      xmlFreeNode(old);
    }
    xmlNode* node = xmlNewChild(root, nullptr, BAD_CAST "action", nullptr);
    AddTextChild(node, "icon", kIconName);
    AddLocalChildren(node, "name", action.caption);
    AddTextChild(node, "submenu", "");
    AddTextChild(node, "unique-id", action.id);
    AddTextChild(node, "command", action.command);
    AddLocalChildren(node, "description", action.caption);
    AddTextChild(node, "range", "");
    AddTextChild(node, "patterns", action.patterns);
    if (action.directories) xmlNewChild(node, nullptr, BAD_CAST "directories", nullptr);
    if (action.files)
      for (const char* kind : {"audio-files", "image-files", "other-files", "text-files", "video-files"})
        xmlNewChild(node, nullptr, BAD_CAST kind, nullptr);
  }
  return SaveThunarActions(doc.get(), path);
}

void DropThunarActions(const std::string& path, const std::vector<std::string>& ids) {
  if (!base::IsFile(path)) return;
  XmlDoc doc = LoadThunarActions(path);
  if (!doc) return;
  bool changed = false;
  for (const std::string& id : ids) {
    for (xmlNode* old : ThunarActions(doc.get(), id)) {
      xmlUnlinkNode(old);
      xmlFreeNode(old);
      changed = true;
    }
  }
  if (changed) SaveThunarActions(doc.get(), path);
}

bool ThunarCommandIs(const std::string& path, const std::string& id, const std::string& command) {
  if (!base::IsFile(path)) return false;
  XmlDoc doc = LoadThunarActions(path);
  if (!doc) return false;
  const std::vector<xmlNode*> found = ThunarActions(doc.get(), id);
  if (found.size() != 1) return false;
  xmlNode* node = Child(found[0], "command");
  return node && NodeText(node) == command;
}

// ---- mimeapps.list ----

// The lines of the [Default Applications] group: [first, end) into lines. False when the list
// has no such group (an empty group at its end has one, with first == end).
bool DefaultGroup(const std::vector<std::string>& lines, size_t& first, size_t& end) {
  first = end = lines.size();
  bool found = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string line = base::TrimBlanks(lines[i]);
    if (!found) {
      found = line == kDefaultApplications;
      first = i + 1;
    } else if (!line.empty() && line[0] == '[') {
      end = i;
      return true;
    }
  }
  if (!found) first = lines.size();
  return found;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) out += lines[i] + (i + 1 < lines.size() ? "\n" : "");
  return out;
}

bool IsKeyLine(const std::string& line, std::string_view key) {
  const size_t eq = line.find('=');
  return eq != std::string::npos && base::TrimBlanks(line.substr(0, eq)) == key;
}

std::vector<std::string> ListValue(const std::string& line) {
  std::vector<std::string> items;
  for (const std::string& item : base::SplitAt(line.substr(line.find('=') + 1), ';'))
    if (!base::TrimBlanks(item).empty()) items.push_back(base::TrimBlanks(item));
  return items;
}

}  // namespace

// ---- Names ----

std::string ConfigurationTypeName(Language language) {
  return forms::Text(language, forms::TextGroup::Shortcuts, "type_name");
}

std::string VerbCaption(Language language) { return forms::Text(language, forms::TextGroup::Shortcuts, "verb"); }

const std::vector<std::string>& ImageMimeTypes() {
  static const std::vector<std::string> types = {
      "image/bmp",          "image/jpeg",     "image/png",
      "image/gif",          "image/tiff",     "image/vnd.adobe.photoshop",
      "image/x-tga",        "image/x-dds",    "image/jp2",
      "image/jpx",          "image/x-jp2-codestream",
      "video/x-mng",        "image/x-jng",    "image/x-portable-bitmap",
      "image/x-portable-graymap",             "image/x-portable-pixmap",
      "image/vnd.zbrush.pcx",                 "image/x-xpixmap",
      "image/vnd.microsoft.icon",             "image/x-win-bitmap",
      "image/webp",         "image/avif",     "image/heif",
      "image/heic",         "image/x-portable-anymap",
      "image/jxl",
  };
  return types;
}

std::vector<std::string> CleanExtensionList(std::string_view text) {
  std::vector<std::string> out;
  for (const std::string& part : base::SplitAt(text, ',')) {
    std::string x = base::TrimBlanks(part);
    if (x.empty()) continue;
    if (x.find('.') == std::string::npos) x = "." + x;
    if (x == "." || x[0] != '.') continue;
    if (x.find_first_of("<>\\/|:?\"* ;", 1) != std::string::npos || HasControlCharacter(x)) continue;
    out.push_back(x);
  }
  return out;
}

// ---- Environment ----

namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

// An XDG variable holding an absolute path (relative ones are ignored, as the standard says).
std::string XdgFolder(const char* variable, const std::string& fallback) {
  const char* value = std::getenv(variable);
  if (value && value[0] == '/') return value;
  return fallback;
}

}  // namespace

Environment Environment::FromProcess() {
  Environment env;
  env.dataHome = XdgFolder("XDG_DATA_HOME", HomeFolder() + "/.local/share");
  env.configHome = XdgFolder("XDG_CONFIG_HOME", HomeFolder() + "/.config");
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  for (const std::string& dir : base::SplitAt(dirs && *dirs ? dirs : "/usr/local/share:/usr/share", ':'))
    if (!dir.empty() && dir[0] == '/') env.dataDirs.push_back(dir);
  return env;
}

std::string RunningProgramPath() {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

// ---- Integration ----

Integration::Integration(std::string programPath, Environment environment)
    : programPath_(std::move(programPath)), env_(std::move(environment)) {}

std::string Integration::MimePackagePath() const { return env_.dataHome + "/mime/packages/vexilo-configuration.xml"; }
std::string Integration::ConfigurationEntryPath() const {
  return env_.dataHome + "/applications/" + kConfigurationEntryId;
}
std::string Integration::OpenWithEntryPath() const { return env_.dataHome + "/applications/" + kOpenWithEntryId; }
std::string Integration::NautilusScriptPath() const { return env_.dataHome + "/nautilus/scripts/" + kSendToName; }
std::string Integration::MimeAppsListPath() const { return env_.configHome + "/mimeapps.list"; }
std::string Integration::ThunarActionsPath() const { return env_.configHome + "/Thunar/uca.xml"; }
std::string Integration::DolphinPath(std::string_view name) const {
  return env_.dataHome + "/kio/servicemenus/vexilo-" + std::string(name) + ".desktop";
}
std::string Integration::NemoPath(std::string_view name) const {
  return env_.dataHome + "/nemo/actions/vexilo-" + std::string(name) + ".nemo_action";
}

namespace {

// What a program path can be written as: no control characters (a line break would end the
// command line) and absolute.
bool UsablePath(const std::string& path) { return !path.empty() && path[0] == '/' && !HasControlCharacter(path); }

// The program takes any number of files in one start, so a selection of 200 files starts it
// once, not 200 times.
std::string EntryExec(const std::string& program) { return DesktopExecQuoted(program) + " %F"; }
std::string NemoExec(const std::string& program) { return DesktopExecQuoted(program) + " %F"; }
std::string ThunarCommand(const std::string& program) { return CommandQuoted(program) + " %F"; }
std::string ScriptExec(const std::string& program) { return "exec " + ShellQuoted(program) + " \"$@\""; }

// A desktop-entry key in every language: "Name=" the default language's text, "Name[de]=" and
// so on each other's, so the desktop shows the entry in the language it is read in.
std::string LocalKeys(std::string_view key, const LocalTexts& texts) {
  std::string lines;
  for (size_t i = 0; i < texts.size(); ++i)
    lines += std::string(key) + (i == 0 ? "" : "[" + texts[i].code + "]") + "=" + texts[i].text + "\n";
  return lines;
}

std::string MimePackage() {
  std::string comments;
  for (const LocalText& t : InEveryLanguage("type_name"))
    comments += "    <comment" + (comments.empty() ? std::string() : " xml:lang=\"" + t.code + "\"") + ">" + t.text +
                "</comment>\n";
  return std::string(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
             "  <mime-type type=\"") +
         kConfigurationMimeType + "\">\n" + comments +
         "    <icon name=\"" + kIconName + "\"/>\n"
         "    <glob pattern=\"*.vxc\"/>\n"
         "    <magic priority=\"40\">\n"
         "      <match type=\"string\" offset=\"0\" value=\"\\xff\\xfe[\\0\"/>\n"
         "    </magic>\n"
         "  </mime-type>\n"
         "</mime-info>\n";
}

std::string DesktopEntry(const LocalTexts& name, const std::string& exec, const std::string& mimeTypes) {
  return "[Desktop Entry]\n"
         "Type=Application\n" +
         LocalKeys("Name", name) +
         "Icon=" + kIconName + "\n"
         "Exec=" + exec + "\n"
         "MimeType=" + mimeTypes + "\n"
         "NoDisplay=true\n"
         "Terminal=false\n";
}

std::string DolphinMenu(const LocalTexts& caption, const std::string& exec, const std::string& mimeTypes) {
  return "[Desktop Entry]\n"
         "Type=Service\n"
         "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
         "MimeType=" + mimeTypes + "\n"
         "Actions=vexilo;\n"
         "\n"
         "[Desktop Action vexilo]\n" +
         LocalKeys("Name", caption) +
         "Icon=" + kIconName + "\n"
         "Exec=" + exec + "\n";
}

std::string NemoAction(const LocalTexts& caption, const std::string& exec, const std::string& extensions) {
  return "[Nemo Action]\n" +
         LocalKeys("Name", caption) + LocalKeys("Comment", caption) +
         "Exec=" + exec + "\n"
         "Icon-Name=" + kIconName + "\n"
         "Selection=notnone\n"
         "Extensions=" + extensions + "\n";
}

// The names the file-manager hooks use: the Dolphin and Nemo files and the Thunar action id.
const char* HookName(Hook hook) { return hook == Hook::Folders ? "folders" : "all-files"; }
std::string ExtensionName(const std::string& extension) { return "extension-" + Lower(extension.substr(1)); }
std::string TypeName(const std::string& mimeType) { return "type-" + base::ReplaceAll(mimeType, "/", "-"); }

}  // namespace

bool Integration::Register(Hook hook, Language language, std::string_view extensions) {
  if (!UsablePath(programPath_)) return false;
  switch (hook) {
    case Hook::ConfigurationFiles: return RegisterConfiguration();
    case Hook::SendTo: return RegisterSendTo(language);
    default: return RegisterFileManagers(hook, extensions);
  }
}

void Integration::Remove(Hook hook, std::string_view extensions) {
  switch (hook) {
    case Hook::ConfigurationFiles: RemoveConfiguration(); break;
    case Hook::SendTo: RemoveSendTo(); break;
    default: RemoveFileManagers(hook, extensions); break;
  }
}

bool Integration::Active(Hook hook) const {
  if (!UsablePath(programPath_)) return false;
  switch (hook) {
    case Hook::ConfigurationFiles: return ConfigurationActive();
    case Hook::SendTo:
      return FileKeyEquals(OpenWithEntryPath(), "Desktop Entry", "Exec", EntryExec(programPath_)) && [&] {
        std::string script;
        return ReadWholeFile(NautilusScriptPath(), script) && Has(script, "\n" + ScriptExec(programPath_) + "\n");
      }();
    case Hook::Folders:
    case Hook::AllFiles: return FileManagersActive(hook);
    case Hook::ChosenExtensions: return false;
  }
  return false;
}

// ---- Configuration files ----

bool Integration::RegisterConfiguration() {
  bool ok = WriteWholeFile(MimePackagePath(), MimePackage());
  ok = ok && WriteWholeFile(ConfigurationEntryPath(),
                            DesktopEntry(InEveryLanguage("type_name"), EntryExec(programPath_),
                                         std::string(kConfigurationMimeType) + ";"));
  if (ok) {
    // The user's default for the type, keeping every other line of the list.
    std::string content;
    ReadWholeFile(MimeAppsListPath(), content);
    std::vector<std::string> lines = content.empty() ? std::vector<std::string>{} : base::SplitAt(content, '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    const std::string entry = std::string(kConfigurationMimeType) + "=" + kConfigurationEntryId + ";";
    size_t first = 0, end = 0;
    if (!DefaultGroup(lines, first, end)) {
      if (!lines.empty() && !base::TrimBlanks(lines.back()).empty()) lines.push_back("");
      lines.push_back(kDefaultApplications);
      lines.push_back(entry);
    } else {
      auto at = std::find_if(lines.begin() + static_cast<std::ptrdiff_t>(first),
                             lines.begin() + static_cast<std::ptrdiff_t>(end),
                             [](const std::string& line) { return IsKeyLine(line, kConfigurationMimeType); });
      if (at != lines.begin() + static_cast<std::ptrdiff_t>(end)) {
        // This program first; the others stay behind it and take over when it is removed.
        std::vector<std::string> ids = ListValue(*at);
        ids.erase(std::remove(ids.begin(), ids.end(), std::string(kConfigurationEntryId)), ids.end());
        *at = entry + JoinList(ids);
      } else lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(first), entry);
    }
    ok = WriteWholeFile(MimeAppsListPath(), Join(lines) + "\n", kSharedFileBits);
  }
  RefreshCaches();
  return ok;
}

void Integration::RemoveConfiguration() {
  std::string package;
  if (ReadWholeFile(MimePackagePath(), package) && Has(package, kConfigurationMimeType)) DeleteFile(MimePackagePath());
  DeleteFile(ConfigurationEntryPath());
  std::string content;
  if (ReadWholeFile(MimeAppsListPath(), content)) {
    std::vector<std::string> lines = base::SplitAt(content, '\n');
    size_t first = 0, end = 0;
    DefaultGroup(lines, first, end);
    std::vector<std::string> kept;
    bool changed = false;
    for (size_t i = 0; i < lines.size(); ++i) {
      std::vector<std::string> ids;
      if (i >= first && i < end && IsKeyLine(lines[i], kConfigurationMimeType)) ids = ListValue(lines[i]);
      const auto ours = std::remove(ids.begin(), ids.end(), std::string(kConfigurationEntryId));
      if (ours == ids.end()) {
        kept.push_back(lines[i]);
        continue;
      }
      // Another program's default for the type stays.
      ids.erase(ours, ids.end());
      if (!ids.empty()) kept.push_back(std::string(kConfigurationMimeType) + "=" + JoinList(ids));
      changed = true;
    }
    if (changed) WriteWholeFile(MimeAppsListPath(), Join(kept), kSharedFileBits);
  }
  RefreshCaches();
}

bool Integration::ConfigurationActive() const {
  std::string package;
  if (!ReadWholeFile(MimePackagePath(), package)) return false;
  if (package != MimePackage()) return false;
  if (!FileKeyEquals(ConfigurationEntryPath(), "Desktop Entry", "Exec", EntryExec(programPath_))) return false;
  std::string content;
  if (!ReadWholeFile(MimeAppsListPath(), content)) return false;
  bool found = false;
  const std::string value = KeyValue(content, "Default Applications", kConfigurationMimeType, found);
  const std::vector<std::string> ids = ListValue("=" + value);
  return found && !ids.empty() && ids.front() == kConfigurationEntryId;
}

// ---- Send To ----

bool Integration::RegisterSendTo(Language language) {
  // The program's own name reads the same in every language.
  LocalTexts name;
  name.push_back({std::string(forms::DefaultLanguage().Code()), kSendToName});
  const bool ok =
      WriteWholeFile(OpenWithEntryPath(), DesktopEntry(name, EntryExec(programPath_), JoinList(ImageMimeTypes()))) &&
      WriteWholeFile(NautilusScriptPath(),
                     "#!/bin/sh\n# " + VerbCaption(language) + "\n" + ScriptExec(programPath_) + "\n",
                     0755);
  RefreshCaches();
  return ok;
}

void Integration::RemoveSendTo() {
  DeleteFile(OpenWithEntryPath());
  DeleteFile(NautilusScriptPath());
  RefreshCaches();
}

// ---- File managers ----

bool Integration::RegisterFileManagers(Hook hook, std::string_view extensions) {
  const LocalTexts caption = InEveryLanguage("verb");
  const std::string exec = EntryExec(programPath_);
  const std::string nemoExec = NemoExec(programPath_);
  if (hook != Hook::ChosenExtensions) {
    const bool folders = hook == Hook::Folders;
    const std::string name = HookName(hook);
    bool ok = WriteWholeFile(DolphinPath(name),
                             DolphinMenu(caption, exec, folders ? "inode/directory;" : "application/octet-stream;"),
                             0755);  // Dolphin ignores service menus of the user that are not executable
    ok = WriteWholeFile(NemoPath(name), NemoAction(caption, nemoExec, folders ? "dir;" : "nodirs;")) && ok;
    ok = PutThunarActions(ThunarActionsPath(),
                          {{"vexilo-" + name, caption, ThunarCommand(programPath_), "*", folders, !folders}}) &&
         ok;
    return ok;
  }
  bool ok = true;
  std::vector<ThunarAction> thunar;
  for (const std::string& x : CleanExtensionList(extensions)) {
    const std::string bare = Lower(x.substr(1));
    // Dolphin chooses by type only: the type the globs give the extension, when there is one.
    if (const std::string type = MimeTypeOfExtension(x); !type.empty())
      ok = WriteWholeFile(DolphinPath(TypeName(type)), DolphinMenu(caption, exec, type + ";"), 0755) && ok;
    ok = WriteWholeFile(NemoPath(ExtensionName(x)), NemoAction(caption, nemoExec, bare + ";")) && ok;
    std::string patterns = "*." + bare;
    if (Upper(bare) != bare) patterns += ";*." + Upper(bare);
    thunar.push_back({"vexilo-" + ExtensionName(x), caption, ThunarCommand(programPath_), patterns, false, true});
  }
  if (!thunar.empty()) ok = PutThunarActions(ThunarActionsPath(), thunar) && ok;
  return ok;
}

void Integration::RemoveFileManagers(Hook hook, std::string_view extensions) {
  if (hook != Hook::ChosenExtensions) {
    const std::string name = HookName(hook);
    DeleteFile(DolphinPath(name));
    DeleteFile(NemoPath(name));
    DropThunarActions(ThunarActionsPath(), {"vexilo-" + name});
    return;
  }
  std::vector<std::string> ids;
  for (const std::string& x : CleanExtensionList(extensions)) {
    if (const std::string type = MimeTypeOfExtension(x); !type.empty()) DeleteFile(DolphinPath(TypeName(type)));
    DeleteFile(NemoPath(ExtensionName(x)));
    ids.push_back("vexilo-" + ExtensionName(x));
  }
  DropThunarActions(ThunarActionsPath(), ids);
}

bool Integration::FileManagersActive(Hook hook) const {
  const std::string name = HookName(hook);
  return FileKeyEquals(DolphinPath(name), "Desktop Action vexilo", "Exec", EntryExec(programPath_)) &&
         FileKeyEquals(NemoPath(name), "Nemo Action", "Exec", NemoExec(programPath_)) &&
         ThunarCommandIs(ThunarActionsPath(), "vexilo-" + name, ThunarCommand(programPath_));
}

// ---- MIME database ----

std::string Integration::MimeTypeOfExtension(const std::string& extension) const {
  std::vector<std::string> dirs{env_.dataHome};
  dirs.insert(dirs.end(), env_.dataDirs.begin(), env_.dataDirs.end());
  const std::string glob = "*" + extension;
  for (const std::string& dir : dirs) {
    std::string content;
    if (!ReadWholeFile(dir + "/mime/globs2", content)) continue;
    std::string best;
    long bestWeight = -1;
    for (const std::string& line : base::SplitAt(content, '\n')) {
      if (line.empty() || line[0] == '#') continue;
      const std::vector<std::string> fields = base::SplitAt(line, ':');
      if (fields.size() < 3) continue;
      const bool caseSensitive = fields.size() > 3 && Has(fields[3], "cs");
      if (caseSensitive ? fields[2] != glob : !base::EqualNoCase(fields[2], glob)) continue;
      const long weight = std::strtol(fields[0].c_str(), nullptr, 10);
      if (weight > bestWeight) {
        bestWeight = weight;
        best = fields[1];
      }
    }
    if (!best.empty()) return best;
  }
  return {};
}

void Integration::RefreshCaches() const {
  if (!env_.refreshCaches) return;
  const std::string mime = env_.dataHome + "/mime";
  const std::string applications = env_.dataHome + "/applications";
  const std::vector<std::vector<std::string>> commands = {{"update-mime-database", mime},
                                                          {"update-desktop-database", applications}};
  for (const std::vector<std::string>& command : commands) {
    if (!base::IsFolder(command[1])) continue;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    // A missing tool or a failure leaves the caches as they are; the desktop reads the files anyway.
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }
    posix_spawn_file_actions_destroy(&actions);
  }
}

}  // namespace desktop
