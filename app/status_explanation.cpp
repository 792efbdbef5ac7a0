#include "app/status_explanation.hpp"

namespace ravlin {

std::string StatusExplanation(Environment& environment, std::int32_t status) {
  const std::string advice = environment.StatusAdvice(status);
  if (advice.empty()) return {};
  return "Status " + std::to_string(status) + ": " + advice;
}

}  // namespace ravlin
