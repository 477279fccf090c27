// Every unit test runs with the subsystems installed, as the products do
// at start-up, so that the hooks between the layers are in place.
#include <gtest/gtest.h>

#include "app/subsystems.h"

namespace {

class InterpreterEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(InstallSubsystems()); }
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new InterpreterEnvironment());

}  // namespace
