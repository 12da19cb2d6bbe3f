#pragma once
// A window test fails on any warning Qt prints (a wrong tab order, a bad
// connection, a missing picture): each test class calls this from init().
#include <QRegularExpression>
#include <QTest>

namespace zd573::test {

// Except the offscreen platform's note that it cannot pass size hints to a
// window manager it does not have: a fact of the test screen, not of the program.
inline void FailOnQtWarnings() {
  QTest::failOnWarning(QRegularExpression(QStringLiteral("^(?!This plugin does not support propagateSizeHints\\(\\)$)")));
}

}  // namespace zd573::test
