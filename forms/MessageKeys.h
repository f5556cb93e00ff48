// The keys of the messages the message dialog shows. A key names a message in the text tables
// ("<key>.title", "<key>.line1", ... in forms/texts/<Language>.cpp) and is what a front end is
// given when a message is to be shown, so the values are data and never change. Code names a
// message through these constants, so that a misspelt key fails to compile instead of showing
// an empty dialog.
#pragma once

namespace forms::msg {

// ---- Adding files and searching folders (image list and renamer) ----
inline constexpr const char* kFolderNotSearchable = "ordnerfalschopen";  // a folder search cannot start
inline constexpr const char* kFormatNotSupported = "formatfehler";       // no codec reads the file
inline constexpr const char* kAlreadyInList = "dateischoninliste";       // the path is listed already

// ---- The start of a conversion run ----
inline constexpr const char* kBadOutputFolder = "ordnerfalsch";   // the folder setting breaks the folder rule
inline constexpr const char* kNoOutputFolder = "keinordner";      // the folder setting is empty
inline constexpr const char* kNoOutputName = "keinname";          // the name pattern is empty
inline constexpr const char* kBadFileSize = "dateigroessefalsch";  // the target file size is not a number
inline constexpr const char* kBadOutputName = "namefalsch";       // the name pattern leads out of the folder
// An output folder (or the folder it would be made in) that this process may not write.
inline constexpr const char* kFolderNotWritable = "ordnernichtschreibbar";

// ---- A file of a conversion run ----
inline constexpr const char* kSaveError = "speicherfehler";          // nothing was written
inline constexpr const char* kLoadError = "ladefehler";              // no picture could be read from the source
inline constexpr const char* kConversionError = "konvertierfehler";  // the scaling step failed
inline constexpr const char* kSourceMissing = "quellefehlt";         // the source has gone since it was listed
// An output this run already wrote for an earlier file; a later file never replaces it.
inline constexpr const char* kAlreadyWritten = "schongeschrieben";
// The output is complete, but the metadata of its source (or its dates) could not be carried.
inline constexpr const char* kMetadataLost = "metadatenverloren";

// ---- The configuration menu ----
inline constexpr const char* kNoStartConfiguration = "keinestartkonfig";  // no start configuration to load

}  // namespace forms::msg
