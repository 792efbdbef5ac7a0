#include "system/modLoadReg.hpp"

#include <utility>

namespace ravlin {
namespace {

constexpr std::string_view kRestorePrivilege = "SeRestorePrivilege";
constexpr std::string_view kBackupPrivilege = "SeBackupPrivilege";

}  // namespace

modLoadReg::modLoadReg(Platform platform, std::string_view title)
    : platform_(std::move(platform)), title_(title) {}

void modLoadReg::ShowFailure(std::string_view prefix, std::uint32_t errorNumber) {
  platform_.ui->MessageBox(std::string(prefix) + std::to_string(errorNumber), mb::kOkOnly, title_);
}

void modLoadReg::EnablePrivileges() {
  Token& token = *platform_.token;
  // Each error number is taken right after its call, before a box could change it.
  if (!token.OpenProcessToken(token.GetCurrentProcess(), kTokenAdjustPrivileges | kTokenQuery,
                              token_)) {
    token_ = 0;
    ShowFailure("OpenProcess: ", token.GetLastError());
  }
  if (!token.LookupPrivilegeValueA("", std::string(kRestorePrivilege), restoreId_))
    ShowFailure("LookupPrivileges: ", token.GetLastError());
  if (!token.LookupPrivilegeValueA("", std::string(kBackupPrivilege), backupId_))
    ShowFailure("LookupPrivileges: ", token.GetLastError());

  // After a failed look-up the adjustment still runs, with that identifier as it stands.
  privileges_.privilegeCount = 2;
  privileges_.privileges[0] = {restoreId_, kSePrivilegeEnabled};
  privileges_.privileges[1] = {backupId_, kSePrivilegeEnabled};
  if (!token.AdjustTokenPrivileges(token_, false, privileges_, kTokenPrivilegesSize))
    ShowFailure("AdjustTokenPrivileges: ", token.GetLastError());
}

void modLoadReg::DisablePrivileges() {
  Token& token = *platform_.token;
  // Disable-all drops every privilege of the token; the record is passed but not used.
  if (!token.AdjustTokenPrivileges(token_, true, privileges_, kTokenPrivilegesSize))
    ShowFailure("AdjustTokenPrivileges: ", token.GetLastError());
}

}  // namespace ravlin
