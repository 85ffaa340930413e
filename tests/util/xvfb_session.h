// A private X server for GL tests (headless::Xvfb, on a display number of
// its own, so parallel tests never collide), with one GLUT window whose
// context stays current for the whole test program. The server dies with the
// test process even if the test crashes.
#pragma once

#include <gtest/gtest.h>

namespace headless {
class Xvfb;
}

class XvfbSession : public ::testing::Environment {
  public:
    static constexpr int kWidth = 200;
    static constexpr int kHeight = 200;

    void SetUp() override;
    void TearDown() override;

  private:
    headless::Xvfb *server_ = nullptr; // never stopped, see TearDown
    int window_ = 0;
};
