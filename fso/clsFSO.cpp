#include "fso/clsFSO.hpp"

#include <utility>

namespace ravlin {

clsFSO::clsFSO(Platform platform) : platform_(std::move(platform)) {}

clsFSO::~clsFSO() = default;

void clsFSO::Count(double dblData) {
  count_ = dblData;
}

double clsFSO::Count() const {
  return count_;
}

void clsFSO::AccessErrNum(std::int32_t errNum) {
  accessErrNum_ = errNum;
}

std::int32_t clsFSO::AccessErrNum() const {
  return accessErrNum_;
}

}  // namespace ravlin
