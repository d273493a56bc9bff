// main() for tests of whole programs: GoogleTest with the process's own Xvfb (XvfbHarness.h), started
// only when tests run (not when CTest lists them).
#include <gtest/gtest.h>

#include "XvfbHarness.h"

namespace {

class XvfbEnvironment : public ::testing::Environment {
public:
    XvfbEnvironment(int& argc, char** argv) : argc_(argc), argv_(argv) {}
    void SetUp() override { ASSERT_TRUE(xvfb::StartServer(argc_, argv_)) << "Xvfb did not start"; }
    void TearDown() override { xvfb::StopServer(); }

private:
    int& argc_;
    char** argv_;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new XvfbEnvironment(argc, argv));
    return RUN_ALL_TESTS();
}
