#include "renamer/RenameRule.h"

#include "base/Paths.h"
#include "base/Text.h"
#include "forms/ControlNames.h"
#include "forms/NumberText.h"

namespace renamer {

RenameRule RenameRule::FromForm(const forms::Form& renamer) {
  RenameRule rule;
  namespace names = forms::ctl::renamer;
  rule.mask = renamer.Text(names::kMask);
  rule.numStart = renamer.Text(names::kFirstNumber);
  rule.searchReplace = renamer.Checked(names::kSearchAndReplace);
  rule.search = renamer.Text(names::kSearchText);
  rule.replacement = renamer.Text(names::kReplacementText);
  rule.inName = renamer.Checked(names::kReplaceInName);
  rule.inExtension = renamer.Checked(names::kReplaceInExtension);
  return rule;
}

std::string NameWithoutExtension(const std::string& fileName) {
  return base::ReplaceAll(fileName, base::ExtensionOf(fileName), "");
}

int64_t FirstNumber(const RenameRule& rule) { return forms::ParseIntegerText(rule.numStart).value_or(1); }

namespace {

int DigitCount(int64_t value) {
  int digits = 1;
  for (value = value < 0 ? -value : value; value >= 10; value /= 10) ++digits;
  return digits;
}

// k in decimal with at least `digits` digits; the sign stays in front of the zeros.
std::string ZeroPadded(int64_t k, int digits) {
  const bool negative = k < 0;
  std::string number = std::to_string(negative ? -k : k);
  if (number.size() < static_cast<size_t>(digits)) number.insert(0, static_cast<size_t>(digits) - number.size(), '0');
  return negative ? "-" + number : number;
}

}  // namespace

std::string RenameName(const std::string& fileName, int row, int rowCount, const RenameRule& rule) {
  if (fileName.empty()) return "";
  const std::string extension = base::ExtensionOf(fileName);
  std::string result = base::ReplaceAll(rule.mask, "%name%", NameWithoutExtension(fileName));
  if (result.find('%') != std::string::npos) {
    const int64_t k = FirstNumber(rule) + row;
    result = base::ReplaceAll(result, "%num%", std::to_string(k));
    result = base::ReplaceAll(result, "%0num%", ZeroPadded(k, DigitCount(rowCount)));
    result = base::ReplaceAll(result, "%abs%", std::to_string(rowCount));
  }
  if (!rule.searchReplace || (!rule.inName && !rule.inExtension)) return result + extension;
  if (rule.inName && rule.inExtension) return base::ReplaceAll(result + extension, rule.search, rule.replacement);
  if (rule.inName) return base::ReplaceAll(result, rule.search, rule.replacement) + extension;
  return result + base::ReplaceAll(extension, rule.search, rule.replacement);
}

}  // namespace renamer
