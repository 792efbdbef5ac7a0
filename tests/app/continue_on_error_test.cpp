#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/continue_on_error.hpp"
#include "platform/runtime_error.hpp"

namespace ravlin {
namespace {

TEST(ContinueOnError, ARunTimeErrorAbandonsOnlyItsStep) {
  std::vector<std::string> done;
  ContinueOnError([&] {
    done.push_back("first");
    throw RuntimeError(vb_error::kFileNotFound);
    done.push_back("after the error");
  });
  ContinueOnError([&] { done.push_back("second"); });
  EXPECT_EQ(done, (std::vector<std::string>{"first", "second"}));
}

TEST(ContinueOnError, AProgrammingErrorIsNotSwallowed) {
  const std::string empty;
  EXPECT_THROW(ContinueOnError([&] { static_cast<void>(empty.at(1)); }), std::out_of_range);
  EXPECT_THROW(ContinueOnError([] { throw std::logic_error("broken invariant"); }),
               std::logic_error);
}

}  // namespace
}  // namespace ravlin
