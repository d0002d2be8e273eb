// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace cardomine::platform::x11 {

namespace {

template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_atom_t frameExtentsAtom(xcb_connection_t *c)
{
    static xcb_atom_t atom = XCB_ATOM_NONE;
    static xcb_connection_t *askedOn = nullptr;
    if (askedOn != c) {
        static const char name[] = "_NET_FRAME_EXTENTS";
        const ReplyPtr<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr),
            &std::free);
        atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        askedOn = c;
    }
    return atom;
}

// The window's native id, only once the native window exists.
std::optional<xcb_window_t> nativeWindow(const QWidget *window)
{
    if (window == nullptr || !window->isWindow() || !window->testAttribute(Qt::WA_WState_Created))
        return std::nullopt;
    return xcb_window_t(window->internalWinId());
}

} // namespace

xcb_connection_t *connection()
{
    auto *app = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    return app != nullptr ? app->connection() : nullptr;
}

std::optional<QMargins> frameExtents(const QWidget *window)
{
    xcb_connection_t *c = connection();
    const std::optional<xcb_window_t> id = nativeWindow(window);
    if (c == nullptr || !id)
        return std::nullopt;
    const xcb_atom_t atom = frameExtentsAtom(c);
    if (atom == XCB_ATOM_NONE)
        return std::nullopt;
    const ReplyPtr<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, *id, atom, XCB_ATOM_CARDINAL, 0, 4),
                               nullptr),
        &std::free);
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 16)
        return std::nullopt;
    const auto *values = static_cast<const std::uint32_t *>(xcb_get_property_value(reply.get()));
    // Left, right, top, bottom, in device pixels.
    const qreal ratio = window->devicePixelRatioF();
    const auto logical = [ratio](std::uint32_t v) { return int(std::lround(v / ratio)); };
    return QMargins(logical(values[0]), logical(values[2]), logical(values[1]), logical(values[3]));
}

bool moveWindow(QWidget *window, QPoint topLeft)
{
    xcb_connection_t *c = connection();
    const std::optional<xcb_window_t> id = nativeWindow(window);
    if (c == nullptr || !id)
        return false;
    const qreal ratio = window->devicePixelRatioF();
    const std::uint32_t values[] = {std::uint32_t(std::int32_t(std::lround(topLeft.x() * ratio))),
                                    std::uint32_t(std::int32_t(std::lround(topLeft.y() * ratio)))};
    xcb_configure_window(c, *id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    xcb_flush(c);
    return true;
}

} // namespace cardomine::platform::x11
