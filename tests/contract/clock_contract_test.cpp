#include "tests/contract/contract_fixture.hpp"

namespace ravlin::testing {
namespace {

class ClockContract : public ContractTest {};

TEST_F(ClockContract, TheCounterAdvancesAcrossASleep) {
  Clock& clock = *platform_.clock;
  const std::uint32_t before = clock.timeGetTime();
  clock.Sleep(60);
  // Unsigned arithmetic keeps the difference right across the counter's wrap.
  const std::uint32_t elapsed = clock.timeGetTime() - before;
  EXPECT_GE(elapsed, 50u);
  EXPECT_LT(elapsed, 60000u);
}

}  // namespace
}  // namespace ravlin::testing
