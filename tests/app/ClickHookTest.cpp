// Scripted clicks: named buttons are clicked in order; hidden, disabled and unknown ones are passed over.
#include "app/ClickHook.h"

#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace halcyra {
namespace {

TEST(ClickHook, ClicksTheNamedVisibleButtonsInOrder)
{
    QWidget window;
    QString clicked;
    const auto add = [&](const char* name) {
        auto* button = new QPushButton(name, &window);
        button->setObjectName(name);
        QObject::connect(button, &QPushButton::clicked, [&clicked, name] { clicked += name; });
        return button;
    };
    add("first");
    add("hidden")->setVisible(false);
    add("disabled")->setEnabled(false);
    add("second");
    window.show();

    TClickHook hook({"-", "second", "hidden", "missing", "-", "disabled", "first"}, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return hook.Pending().isEmpty() && clicked.size() >= 11; }, 5000));
    EXPECT_EQ(clicked, "secondfirst");
}

}  // namespace
}  // namespace halcyra
