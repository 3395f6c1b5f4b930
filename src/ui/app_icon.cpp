#include "ui/app_icon.h"

// The icons are compiled into the static library, whose resource initialiser the linker would
// drop unless something names it. It must be named outside any namespace.
static void InitIconResources()
{
    Q_INIT_RESOURCE(cantrix);
}

namespace cantrix {

namespace {
constexpr int kIconSizes[] = {16, 32, 48, 128};
} // namespace

QIcon AppIcon()
{
    static const bool registered = (InitIconResources(), true);
    Q_UNUSED(registered);
    QIcon icon;
    for (const int size : kIconSizes)
        icon.addFile(QStringLiteral(":/icons/cantrix-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace cantrix
