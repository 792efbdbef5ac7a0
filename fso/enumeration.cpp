#include <cmath>
#include <cstdio>
#include <string_view>

#include "fso/clsFSO.hpp"
#include "fso/date_text.hpp"
#include "fso/error_text.hpp"
#include "fso/path_names.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

// Whether the extension of the path's last component is `lowerExtension`, ignoring case by
// the letters of the ANSI code page (Windows-1252), as every text here is compared. It runs
// once for every listed file, so it compares in place.
bool HasExtension(std::string_view path, std::string_view lowerExtension) {
  const std::string_view name = path.substr(path.find_last_of('\\') + 1);
  const std::size_t dot = name.find_last_of('.');
  const std::string_view extension =
      dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (extension.size() != lowerExtension.size()) return false;
  for (std::size_t i = 0; i < extension.size(); ++i)
    if (LowerWindows1252(extension[i]) != lowerExtension[i]) return false;
  return true;
}

// Whether `haystack` holds `lowerNeedle` (already in lower case), ignoring case. An empty
// needle is found in every text but the empty one, as the classic InStr finds it.
bool ContainsIgnoringCase(const std::string& haystack, const std::string& lowerNeedle,
                          std::string& scratch) {
  if (haystack.empty()) return false;
  if (lowerNeedle.empty()) return true;
  scratch.resize(haystack.size());
  for (std::size_t i = 0; i < haystack.size(); ++i) scratch[i] = LowerWindows1252(haystack[i]);
  return scratch.find(lowerNeedle) != std::string::npos;
}

// "#,0": decimal digits in groups of three; any other text stays as it is.
std::string WithThousands(const std::string& digits) {
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return digits;
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

// A total as decimal text: whole numbers with all their digits, others with up to 15
// significant digits.
std::string TotalText(double total) {
  char text[40];
  if (std::floor(total) == total && std::fabs(total) < 1e15)
    std::snprintf(text, sizeof text, "%.0f", total);
  else
    std::snprintf(text, sizeof text, "%.15G", total);
  return text;
}

// The numeric value of a Size field.
double SizeValue(const std::string& size) {
  if (size.empty() || size.find_first_not_of("0123456789") != std::string::npos)
    throw RuntimeError(vb_error::kTypeMismatch);
  return std::stod(size);
}

// The date part of a date field: its text up to the first blank, read as a date.
DateValue DatePart(const std::string& field) {
  const auto date = ReadDate(field.substr(0, field.find(' ')));
  if (!date) throw RuntimeError(vb_error::kTypeMismatch);
  return *date;
}

}  // namespace

bool clsFSO::AppendFileList(const std::string& strFolder, bool blnSearchSubfolders,
                            const std::optional<std::string>& wantedExtension, std::string& list) {
  Ui& ui = *platform_.ui;
  ui.DoEvents();
  if (CancelProcessing) return false;
  const FileServiceUse fso(platform_);
  const FolderListing folder = fso->GetFolder(strFolder);
  const std::size_t start = list.size();

  for (const std::string& file : folder.files) {
    ui.DoEvents();
    if (CancelProcessing) break;
    if (!wantedExtension) {
      list += file;
      list += ';';
      continue;
    }
    if (!HasExtension(file, *wantedExtension)) continue;
    list += file;
    list += ';';
    count_ += 1;
    if (CountFiles) {
      std::string path = file;
      CountFiles(count_, path);
    }
  }

  ui.DoEvents();
  if (CancelProcessing) {
    list.resize(start);
    return true;
  }
  if (blnSearchSubfolders) {
    for (const std::string& subFolder : folder.subFolders) {
      ui.DoEvents();
      if (CancelProcessing) break;
      AppendFileList(subFolder, blnSearchSubfolders, wantedExtension, list);
    }
  }
  return true;
}

std::optional<std::string> clsFSO::Get_FileList(const std::string& strFolder,
                                                bool blnSearchSubfolders,
                                                const std::string& strPattern) {
  // Only the extension of a pattern selects: "*.*" and a name without "*" take every file.
  std::optional<std::string> wantedExtension;
  if (strPattern != "*.*" && strPattern.find('*') != std::string::npos)
    wantedExtension = LowerWindows1252(GetExtensionName(strPattern));
  std::string list;
  if (!AppendFileList(strFolder, blnSearchSubfolders, wantedExtension, list)) return std::nullopt;
  return list;
}

std::string clsFSO::Get_DirList(const std::string& strPath) {
  std::string list;
  const FileServiceUse fso(platform_);
  const FolderListing folder = fso->GetFolder(strPath);
  Ui& ui = *platform_.ui;
  // From here a failure is recorded and skipped.
  try {
    for (const std::string& subFolder : folder.subFolders) {
      ui.DoEvents();
      if (CancelProcessing) break;
      list += subFolder;
      list += ';';
    }
  } catch (const RuntimeError& error) {
    accessErrNum_ = error.Number();
  }
  try {
    ui.DoEvents();
    if (CancelProcessing)
      list.clear();
    else if (list.ends_with(';'))
      list.pop_back();
  } catch (const RuntimeError& error) {
    accessErrNum_ = error.Number();
  }
  return list;
}

std::string clsFSO::Get_Totals(const std::string& strPath, std::int16_t intDataType,
                               const std::string& strPattern, bool blnSearchSubfolders) {
  double total = 0;
  if (intDataType < 1 || intDataType > 4 || TrimSpaces(strPath).empty()) return "0";
  std::optional<DateValue> criterion;
  if (intDataType != 1) {
    criterion = ReadDate(strPattern);
    if (!criterion) {
      platform_.ui->MessageBox("An invalid date was passed.", mb::kInformation,
                               "Invalid date format");
      return "0";
    }
  }

  std::string entry;
  try {
    std::string list = Get_FileList(strPath, blnSearchSubfolders, strPattern).value_or("");
    if (list.ends_with(';')) list.pop_back();
    std::size_t start = 0;
    while (start <= list.size()) {
      const std::size_t end = std::min(list.find(';', start), list.size());
      entry = list.substr(start, end - start);
      start = end + 1;
      if (TrimSpaces(entry).empty()) break;
      if (!Get_FileInfo(entry)) continue;
      bool qualifies = true;
      switch (intDataType) {
        case 1:
          total += SizeValue(udtFileInfo.Size);
          break;
        case 2:
          qualifies = *criterion <= DatePart(udtFileInfo.DateLastAccessed);
          break;
        case 3:
          qualifies = *criterion <= DatePart(udtFileInfo.DateLastModified);
          break;
        default:
          qualifies = *criterion <= DatePart(udtFileInfo.DateCreated);
          break;
      }
      if (!qualifies) continue;
      if (intDataType != 1) total += 1;
      if (CountTotals) CountTotals(total, entry);
    }
  } catch (const RuntimeError& error) {
    platform_.ui->MessageBox(ErrorLine(error) + "\r\n\r\nFile: " + entry +
                                 "\r\nSize: " + WithThousands(udtFileInfo.Size) +
                                 "\r\nCreated:  " + udtFileInfo.DateCreated +
                                 "\r\nModified: " + udtFileInfo.DateLastModified +
                                 "\r\nAccessed: " + udtFileInfo.DateLastAccessed,
                             mb::kInformation, "Errors detected");
    total = 0;
  }
  return TotalText(total);
}

std::vector<std::string> clsFSO::TextSearch(const std::string& strPath,
                                            const std::string& strText) {
  const FileServiceUse fso(platform_);
  const FolderListing folder = fso->GetFolder(strPath);
  std::vector<std::string> found(101);
  std::size_t matches = 0;
  const std::string needle = LowerWindows1252(strText);
  std::string scratch;
  for (const std::string& file : folder.files) {
    if (!ContainsIgnoringCase(fso->ReadAllText(file), needle, scratch)) continue;
    found[matches] = file;
    ++matches;
    if (matches == found.size() - 1) found.resize(matches + 101);
  }
  if (matches == 0) {
    found = {"N/A", ""};
  } else {
    found.resize(matches);
  }
  return found;
}

}  // namespace ravlin
