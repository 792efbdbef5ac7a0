#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.hpp"
#include "platform/variant.hpp"

namespace ravlin {

// The details of the last file that Get_FileInfo examined.
struct FileInfoRecord {
  std::string Drive;
  std::string Path;
  std::string ParentFolder;
  std::string Size;
  std::string Type;
  std::string Extension;
  std::string DateLastAccessed;
  std::string DateLastModified;
  std::string DateCreated;
  std::string Attributes;
};

// The general file, folder and drive toolkit. Members are declared in the order of the
// class's dispatch interface; each group is defined in the source file named after it.
// Members that talk to the user do so through the platform's message boxes.
class clsFSO {
 public:
  explicit clsFSO(Platform platform);
  clsFSO(const clsFSO&) = delete;
  clsFSO& operator=(const clsFSO&) = delete;
  ~clsFSO();

  // Request to stop a running enumeration; only callers set it.
  bool CancelProcessing = false;

  void Count(double dblData);
  double Count() const;

  // file_info.cpp
  Variant Get_FileProperties(const Variant& FullPathAndNameOfFile);
  // file_operations.cpp
  bool KillFile(const std::string& strFile);
  bool KillDir(const std::string& strPath, bool RecreatePath);
  // path_helpers.cpp
  std::string StripDrive(const std::string& strPath);
  // existence.cpp
  bool IsDriveReady(const std::string& strDrive);
  // file_operations.cpp
  bool Create_Dir_Struct(const std::string& strPath);
  // path_helpers.cpp
  std::string Get_Extension(const std::string& strFilename);
  std::string Get_Filename(const std::string& strFilename);
  std::string Get_Path(const std::string& strFilename);
  // file_info.cpp
  std::string Get_Version(const std::string& strFilename);
  // existence.cpp
  bool Drive_Exist(const std::string& strSearchData, std::int32_t& lngDriveType);
  bool File_Exist(const std::string& strSearchItem);
  bool Folder_Exist(const std::string& strFolder);
  std::vector<std::string> Available_Drives();
  bool IsThisRestricted(const std::string& strPath);
  // file_info.cpp
  bool Get_FileInfo(const std::string& strFilename);
  std::string Attribute_String(std::int32_t lngValue);
  // file_operations.cpp
  bool Move_File(const std::string& strSource, const std::string& strTarget);
  bool Copy_File(const std::string& strSource, const std::string& strTarget);
  bool DelTree32(const std::string& strPath);
  // path_helpers.cpp
  std::string Add_Trailing_Slash(const std::string& strPath);
  std::string Remove_Trailing_Slash(const std::string& strPath);
  // enumeration.cpp
  std::vector<std::string> TextSearch(const std::string& strPath, const std::string& strText);
  std::string Get_Totals(const std::string& strPath, std::int16_t intDataType = 1,
                         const std::string& strPattern = "*.*", bool blnSearchSubfolders = true);
  // Nothing at all when cancelled on entry.
  std::optional<std::string> Get_FileList(const std::string& strFolder,
                                          bool blnSearchSubfolders = true,
                                          const std::string& strPattern = "*.*");
  std::string Get_DirList(const std::string& strPath);

  void AccessErrNum(std::int32_t errNum);
  std::int32_t AccessErrNum() const;

  // temp_names.cpp
  std::string Create_Tmp_Filename(std::string& strTmpFolder);
  std::string Create_Tmp_Filename();
  std::string Create_Tmp_Folder();
  // path_helpers.cpp
  std::string Remove_Nulls(const std::string& strInput);
  // temp_names.cpp
  std::string Create_Tmp_Name(std::int16_t intLength);
  float Rnd2(float sngLow, float sngHigh);
  // browse.cpp
  std::string BrowseForFolder(Handle frm = 0, const std::string& strPrompt = "");
  std::string Shrink_2_Fit(const std::string& strPath_to_Resize, std::int16_t intMaxLen);
  // disk_space.cpp
  bool Get_Disk_Space(const std::string& strPath, double& dblTotalSpace, double& dblFreeSpace,
                      double& dblUsedSpace);

  // Events, delivered synchronously before the raising member goes on; both arguments are
  // references, so a listener's change takes effect at once.
  std::function<void(double& dblCount, std::string& strPath)> CountFiles;
  std::function<void(double& dblCount, std::string& strText)> CountTotals;

  // The record that Get_FileInfo fills, for callers that show it.
  const FileInfoRecord& LastFileInfo() const { return udtFileInfo; }

 private:
  // One member's reference to the file service: taken when the member starts and dropped
  // when it returns, on every path, so that no member keeps it from one call to the next.
  class FileServiceUse {
   public:
    explicit FileServiceUse(const Platform& platform) : files_(platform.files) {}
    FileServiceUse(const FileServiceUse&) = delete;
    FileServiceUse& operator=(const FileServiceUse&) = delete;
    FileService& operator*() const { return *files_; }
    FileService* operator->() const { return files_.get(); }

   private:
    std::shared_ptr<FileService> files_;
  };

  // enumeration.cpp: appends the files of `strFolder` (and, when asked, of its subtree) to
  // `list`; `wantedExtension` is the lower-case extension that selects files, or nothing for
  // every file. False when cancelled on entry.
  bool AppendFileList(const std::string& strFolder, bool blnSearchSubfolders,
                      const std::optional<std::string>& wantedExtension, std::string& list);
  // temp_names.cpp: the system's temporary folder with a trailing backslash, or C:\ when
  // the system names none.
  std::string TemporaryFolder();

  Platform platform_;
  FileInfoRecord udtFileInfo;
  double count_ = 0;
  std::int32_t accessErrNum_ = 0;
  std::mt19937 random_;
};

}  // namespace ravlin
