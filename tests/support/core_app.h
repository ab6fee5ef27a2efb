#pragma once

#include <QCoreApplication>

namespace kv6::test {

// One application object for the whole test binary, made on first use
// (unless a test made its own, such as a QApplication).
inline QCoreApplication& coreApp() {
    if (auto* app = QCoreApplication::instance()) return *app;
    static int argc = 1;
    static char name[] = "kv6_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

}  // namespace kv6::test
