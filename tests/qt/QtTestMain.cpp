// The views' tests run inside one QApplication on the offscreen platform (no display needed).
#include <QApplication>
#include <QFont>

#include <gtest/gtest.h>

#include "ui/qt/AccessibleNames.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(QFont("DejaVu Sans", 9));
    qnl::InstallAccessibleNames();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
