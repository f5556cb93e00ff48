#include "forms/FolderFilterForm.h"

#include <string_view>

#include "forms/ControlNames.h"
#include "forms/Texts.h"

namespace forms {

namespace {

namespace names = ctl::folderFilter;

Control FilterCheck(std::string_view name, bool checked, std::string caption, bool enabled) {
  Control c;
  c.name = std::string(name);
  c.kind = ControlKind::Check;
  c.checked = checked;
  c.caption = std::move(caption);
  c.enabled = enabled;
  return c;
}

Control FilterRadio(std::string_view name, bool checked, const char* caption) {
  Control c;
  c.name = std::string(name);
  c.kind = ControlKind::Radio;
  c.group = "formate";
  c.checked = checked;
  c.caption = caption;
  return c;
}

Control FilterCaption(std::string_view name, ControlKind kind, const char* caption) {
  Control c;
  c.name = std::string(name);
  c.kind = kind;
  c.caption = caption;
  return c;
}

// The format check boxes in creation order, which is also their key order in configuration
// files. A caption of nullptr means "*." followed by the name.
struct FormatBox {
  const char* name;
  const char* caption;
};
constexpr FormatBox kFormatBoxes[] = {
    {"jpg", nullptr},
    {"bmp", nullptr},
    {"cb_bitmap", "Windows Bitmap"},
    {"dib", nullptr},
    {"cb_jpg", "JPEG (Joint Photographic Experts Group)"},
    {"jpeg", nullptr},
    {"jfif", nullptr},
    {"jpe", nullptr},
    {"jif", nullptr},
    {"png", "Portable Network Graphics (*.png)"},
    {"mng", "Multiple Network Graphics (*.mng)"},
    {"jng", "JPEG Network Graphics (*.jng)"},
    {"gif", "Graphics Interchange Format (*.gif)"},
    {"cb_photoshop", "Photoshop"},
    {"ico", "Windows Icon (*.ico)"},
    {"tif", nullptr},
    {"cb_tiff", "Tagged Image File Format"},
    {"tiff", nullptr},
    {"psd", nullptr},
    {"pdd", nullptr},
    {"cur", "Windows Cursor (*.cur)"},
    {"jp2", nullptr},
    {"cb_jpg2000", "JPEG 2000"},
    {"j2k", nullptr},
    {"j2c", nullptr},
    {"jpx", nullptr},
    {"jpc", nullptr},
    {"cb_portable", "Portable Bit/Gray/Pixel/Arbitrary Map"},
    {"pbm", nullptr},
    {"pgm", nullptr},
    {"ppm", nullptr},
    {"pam", nullptr},
    {"pfm", nullptr},
    {"dds", "DirectDraw Surface (*.dds)"},
    {"tga", "Truevision Targa (*.tga)"},
    {"pcx", "ZSoft Paintbrush (*.pcx)"},
    {"xpm", "X Window Pixmap (*.xpm)"},
};

// With all formats: every supported type, in the order the search visits them. ".jpeg" is not among
// them; a selection can include it. ".pnm" is the common name of the bitmap, gray and pixel
// maps.
constexpr const char* kAllExtensions[] = {
    ".bmp", ".dib", ".jpg", ".cur", ".jfif", ".jpe", ".jif", ".png", ".mng", ".jng", ".gif",
    ".dds", ".tga", ".pbm", ".pgm", ".ppm", ".pnm", ".pam", ".pfm", ".jp2", ".j2k", ".j2c",
    ".jpx", ".jpc", ".tif", ".tiff", ".psd", ".pdd", ".pcx", ".xpm", ".ico",
    ".webp", ".avif", ".heic", ".heif", ".jxl",
};

// With the chosen formats: the checked boxes, in this order.
constexpr const char* kSelectionOrder[] = {
    "bmp", "jpg", "dib", "jpeg", "jfif", "jpe", "jif", "png", "mng", "jng", "gif",
    "ico", "tif", "tiff", "psd", "pdd", "cur", "jp2", "j2k", "j2c", "jpx", "jpc",
    "pbm", "pgm", "ppm", "pam", "pfm", "dds", "tga", "pcx", "xpm", "webp",
    "avif", "heic", "jxl",
};

// The members take the group's checked state.
void MembersFollowGroup(Form& form, const FilterGroup& group) {
  const bool checked = form.Checked(group.box);
  for (const char* member : group.members) form.SetChecked(member, checked);
}

const FilterGroup* GroupOf(std::string_view box) {
  for (const FilterGroup& group : FolderFilterGroups())
    if (box == group.box) return &group;
  return nullptr;
}

}  // namespace

const std::vector<FilterGroup>& FolderFilterGroups() {
  static const std::vector<FilterGroup> groups = {
      {"cb_bitmap", {"bmp", "dib"}},
      {"cb_jpg", {"jpg", "jpeg", "jfif", "jpe", "jif"}},
      {"cb_tiff", {"tif", "tiff"}},
      {"cb_photoshop", {"psd", "pdd"}},
      {"cb_jpg2000", {"jp2", "j2k", "j2c", "jpx", "jpc"}},
      {"cb_portable", {"pbm", "pgm", "ppm", "pam", "pfm"}},
  };
  return groups;
}

const std::vector<const char*>& FolderFilterSingleFormats() {
  static const std::vector<const char*> singles = {"png", "mng", "jng", "gif", "ico",
                                                   "cur", "dds", "tga", "pcx", "xpm", "webp",
                                                   "avif", "heic", "jxl"};
  return singles;
}

Form CreateFolderFilterForm() {
  Form form("Tsm_filter", "");
  for (const FormatBox& box : kFormatBoxes)
    form.Add(FilterCheck(box.name, false, box.caption ? box.caption : std::string("*.") + box.name, false));
  form.Add(FilterCheck(names::kSubfolders, true, "", true));
  // Added after the original boxes, so their keys come last and older files keep their meaning.
  form.Add(FilterCheck("webp", false, "WebP (*.webp)", false));
  form.Add(FilterCheck("avif", false, "AV1 Image File Format (*.avif)", false));
  form.Add(FilterCheck("heic", false, "High Efficiency Image File Format (*.heic, *.heif)", false));
  form.Add(FilterCheck("jxl", false, "JPEG XL (*.jxl)", false));
  form.Add(FilterRadio(names::kAllFormats, true, ""));
  form.Add(FilterRadio(names::kChosenFormats, false, ""));
  form.Add(FilterCaption(names::kFormatsGroup, ControlKind::GroupBox, ""));
  form.Add(FilterCaption(names::kSearchStyleGroup, ControlKind::GroupBox, ""));
  form.Add(FilterCaption(names::kOkButton, ControlKind::Button, ""));

  for (const std::string_view radio : {names::kAllFormats, names::kChosenFormats}) {
    form.OnChange(radio, [](Form& f, Control&) { UpdateFolderFilterEnabling(f); });
    form.OnClick(radio, [](Form& f, Control&) {
      for (const FilterGroup& group : FolderFilterGroups()) MembersFollowGroup(f, group);
    });
  }
  for (const FilterGroup& group : FolderFilterGroups()) {
    form.OnChange(group.box, [](Form& f, Control&) { UpdateFolderFilterEnabling(f); });
    form.OnClick(group.box, [](Form& f, Control& box) {
      if (const FilterGroup* g = GroupOf(box.name)) MembersFollowGroup(f, *g);
    });
  }
  ApplyFolderFilterLanguage(form, Language::German);
  return form;
}

void UpdateFolderFilterEnabling(Form& form) {
  const bool selection = form.Checked(names::kChosenFormats);
  for (const FilterGroup& group : FolderFilterGroups()) {
    form.SetEnabled(group.box, selection);
    const bool groupChecked = form.Checked(group.box);
    for (const char* member : group.members) form.SetEnabled(member, groupChecked);
  }
  for (const char* single : FolderFilterSingleFormats()) form.SetEnabled(single, selection);
}

void ApplyFolderFilterLanguage(Form& form, Language language) { ApplyFormTexts(form, TextGroup::SearchFilter, language); }

std::vector<std::string> SearchExtensions(const Form& form) {
  std::vector<std::string> extensions;
  if (form.Checked(names::kAllFormats)) {
    for (const char* e : kAllExtensions) extensions.emplace_back(e);
    return extensions;
  }
  for (const char* box : kSelectionOrder) {
    if (form.Checked(box)) extensions.push_back(std::string(".") + box);
    // A .pnm file holds a bitmap, gray map or pixel map, so each of the three boxes finds it.
    if (std::string_view(box) == "ppm" && (form.Checked("pbm") || form.Checked("pgm") || form.Checked("ppm")))
      extensions.emplace_back(".pnm");
    // One box for both names of HEIF files.
    if (std::string_view(box) == "heic" && form.Checked("heic")) extensions.emplace_back(".heif");
  }
  return extensions;
}

}  // namespace forms
