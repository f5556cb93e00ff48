// The names of the controls that hold the settings of a conversion: the size page and the save
// page of the main window (Tprog) and the options dialog (Toptionen). A control's name is also
// its key in the configuration files, so these texts must never change; code that reads or
// sets one of these controls names it through this header, so that a misspelt name fails to
// compile instead of failing when the control is looked up.
//
// The constants are spelt like the controls themselves, so that a search for "out_ordner" finds
// the stored key, the form that creates the control and every reader.
#pragma once

#include <string_view>

namespace forms::ctl {

// ---- Size page (ts_skalieren) ----
// The size mode: one of five radio buttons of one group.
inline constexpr std::string_view rb_pixel = "rb_pixel";        // a preset box
inline constexpr std::string_view rb_benutzer = "rb_benutzer";  // a custom box
inline constexpr std::string_view rb_prozent = "rb_prozent";    // percent of the source
inline constexpr std::string_view rb_faktor = "rb_faktor";      // a factor or ratio
inline constexpr std::string_view rb_filesize = "rb_filesize";  // a target file size

// The preset boxes, one of a group; width x height.
inline constexpr std::string_view act_size240x320 = "act_size240x320";
inline constexpr std::string_view act_size640x480 = "act_size640x480";
inline constexpr std::string_view act_size800x600 = "act_size800x600";
inline constexpr std::string_view act_size1024x768 = "act_size1024x768";
inline constexpr std::string_view act_sizeprop = "act_sizeprop";  // keep proportions (preset)

inline constexpr std::string_view act_sizebenutzer_x = "act_sizebenutzer_x";  // custom width text
inline constexpr std::string_view act_sizebenutzer_y = "act_sizebenutzer_y";  // custom height text
inline constexpr std::string_view act_propbenutzer_prop = "act_propbenutzer_prop";  // keep proportions (custom)

inline constexpr std::string_view act_sizeprozent_x = "act_sizeprozent_x";  // percent width text
inline constexpr std::string_view act_sizeprozent_y = "act_sizeprozent_y";  // percent height text
inline constexpr std::string_view act_propprozent = "act_propprozent";      // coupled percent

inline constexpr std::string_view ed_faktor = "ed_faktor";      // factor text
inline constexpr std::string_view ed_filesize = "ed_filesize";  // target size text, kilobytes

// ---- Save page (ts_speichern) ----
inline constexpr std::string_view out_overwrite = "out_overwrite";  // overwrite the source
inline constexpr std::string_view out_newimage = "out_newimage";    // save as a new file
inline constexpr std::string_view out_ordner = "out_ordner";        // folder pattern
inline constexpr std::string_view out_name = "out_name";            // name pattern
inline constexpr std::string_view out_format = "out_format";        // output type item

// ---- Options dialog (optionen) ----
inline constexpr std::string_view act_sizehochquerformat = "act_sizehochquerformat";  // landscape/portrait
inline constexpr std::string_view act_sizebigger = "act_sizebigger";    // change a larger source
inline constexpr std::string_view act_sizekleiner = "act_sizekleiner";  // change a smaller source
inline constexpr std::string_view act_sizemethode = "act_sizemethode";  // resampling method text
inline constexpr std::string_view out_quality = "out_quality";          // output quality text
inline constexpr std::string_view ScrollBar1 = "ScrollBar1";            // quality scroll bar
inline constexpr std::string_view progressivaktiv = "progressivaktiv";  // progressive output
inline constexpr std::string_view psdlayers = "psdlayers";              // Photoshop output as a layer
// Check boxes of this program beyond the original dialog; the configuration files keep them in
// a section of their own, [VX] (config/Configuration.h).
inline constexpr std::string_view keep_dates = "keep_dates";              // outputs get the source's file times
inline constexpr std::string_view keep_orientation = "keep_orientation";  // leave the Exif orientation as stored
inline constexpr std::string_view to_srgb = "to_srgb";                    // convert colours to sRGB, embed no profile
inline constexpr std::string_view strip_location = "strip_location";      // leave GPS and personal tags out

}  // namespace forms::ctl
