#include "platform/look.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

#include <cstring>

namespace cardomine::platform::look {

bool userChoseStyle(int argc, const char *const *argv)
{
    if (!qEnvironmentVariableIsEmpty("QT_STYLE_OVERRIDE"))
        return true;
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (argument == nullptr)
            continue;
        // Qt takes the option with one dash or two, and the name after '=' or apart.
        if (argument[0] == '-' && argument[1] == '-')
            ++argument;
        if (std::strcmp(argument, "-style") == 0 ? i + 1 < argc
                                                 : std::strncmp(argument, "-style=", 7) == 0)
            return true;
    }
    return false;
}

void applyClassicLook(bool userChose)
{
    if (userChose)
        return;
    QStyle *classic = QStyleFactory::create(QStringLiteral("Windows"));
    if (classic == nullptr)
        return;
    QApplication::setStyle(classic);
    QApplication::setPalette(classic->standardPalette());
}

} // namespace cardomine::platform::look
