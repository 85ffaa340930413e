// A private X server for GL tests: Xvfb on a display number it picks itself
// (so parallel tests never collide), with one GLUT window whose context
// stays current for the whole test program. The server dies with the test
// process even if the test crashes.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

class XvfbSession : public ::testing::Environment {
  public:
    static constexpr int kWidth = 200;
    static constexpr int kHeight = 200;

    void SetUp() override;
    void TearDown() override;

  private:
    pid_t server_ = -1;
    int window_ = 0;
};
