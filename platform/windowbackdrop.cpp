// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/windowbackdrop.h"

#include "platform/x11.h"

#include <QVariant>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>

namespace cardomine::platform {

namespace {

// The window's pixmap is kept as a property of the widget, so a later update draws
// into the same one.
constexpr char BackdropProperty[] = "cardomine_backdrop_pixmap";

struct X11Window
{
    xcb_connection_t *connection = nullptr;
    xcb_window_t window = 0;
    std::uint8_t depth = 0;
};

template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

// Whether the server takes 32-bit pixels of this depth as QImage keeps them in
// memory: 0xAARRGGBB words, least significant byte first, rows padded to 32 bits.
bool takesQImagePixels(xcb_connection_t *connection, xcb_window_t window, std::uint8_t depth)
{
    const xcb_setup_t *setup = xcb_get_setup(connection);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST || Q_BYTE_ORDER != Q_LITTLE_ENDIAN)
        return false;
    bool formatFits = false;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem;
         xcb_format_next(&formats)) {
        if (formats.data->depth == depth)
            formatFits = formats.data->bits_per_pixel == 32 && formats.data->scanline_pad == 32;
    }
    if (!formatFits)
        return false;

    const ReplyPtr<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window),
                                        nullptr),
        &std::free);
    if (!attributes)
        return false;
    for (auto screens = xcb_setup_roots_iterator(setup); screens.rem; xcb_screen_next(&screens)) {
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem;
             xcb_depth_next(&depths)) {
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
                 xcb_visualtype_next(&visuals)) {
                if (visuals.data->visual_id == attributes->visual)
                    return visuals.data->red_mask == 0xff0000 &&
                           visuals.data->green_mask == 0xff00 && visuals.data->blue_mask == 0xff;
            }
        }
    }
    return false;
}

std::optional<X11Window> x11Window(QWidget *widget)
{
    xcb_connection_t *connection = x11::connection();
    if (connection == nullptr || widget == nullptr || !widget->isWindow())
        return std::nullopt;
    X11Window target;
    target.connection = connection;
    target.window = xcb_window_t(widget->winId());
    const ReplyPtr<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(target.connection,
                               xcb_get_geometry(target.connection, target.window), nullptr),
        &std::free);
    if (!geometry)
        return std::nullopt;
    target.depth = geometry->depth;
    if (!takesQImagePixels(target.connection, target.window, target.depth))
        return std::nullopt;
    return target;
}

// Sends the image into the pixmap at topLeft, in as many requests as the server's
// request size limit asks for.
void putImage(const X11Window &target, xcb_pixmap_t pixmap, const QImage &image, QPoint topLeft)
{
    const QImage pixels = image.convertToFormat(
        target.depth == 32 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    const xcb_gcontext_t gc = xcb_generate_id(target.connection);
    xcb_create_gc(target.connection, gc, pixmap, 0, nullptr);
    const std::uint64_t maxBytes =
        std::uint64_t(xcb_get_maximum_request_length(target.connection)) * 4;
    const qsizetype stride = pixels.bytesPerLine();
    // The request's own header takes 24 bytes.
    const int rowsPerRequest = int(std::max<std::uint64_t>(1, (maxBytes - 24) / stride));
    for (int row = 0; row < pixels.height(); row += rowsPerRequest) {
        const int rows = std::min(rowsPerRequest, pixels.height() - row);
        xcb_put_image(target.connection, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc,
                      std::uint16_t(pixels.width()), std::uint16_t(rows), std::int16_t(topLeft.x()),
                      std::int16_t(topLeft.y() + row), 0, target.depth,
                      std::uint32_t(rows * stride), pixels.constScanLine(row));
    }
    xcb_free_gc(target.connection, gc);
}

} // namespace

bool setWindowBackdrop(QWidget *window, const std::function<QImage()> &picture)
{
    const std::optional<X11Window> target = x11Window(window);
    if (!target)
        return false;
    const QImage image = picture();
    if (image.isNull())
        return false;
    const xcb_pixmap_t pixmap = xcb_generate_id(target->connection);
    xcb_create_pixmap(target->connection, target->depth, pixmap, target->window,
                      std::uint16_t(image.width()), std::uint16_t(image.height()));
    putImage(*target, pixmap, image, QPoint(0, 0));
    xcb_change_window_attributes(target->connection, target->window, XCB_CW_BACK_PIXMAP, &pixmap);
    const QVariant earlier = window->property(BackdropProperty);
    if (earlier.isValid())
        xcb_free_pixmap(target->connection, earlier.value<quint32>());
    window->setProperty(BackdropProperty, quint32(pixmap));
    // A window already on screen shows the new backdrop at once.
    xcb_clear_area(target->connection, 0, target->window, 0, 0, 0, 0);
    xcb_flush(target->connection);
    return true;
}

bool updateWindowBackdrop(QWidget *window, const QImage &image, QPoint topLeft)
{
    const QVariant pixmap = window != nullptr ? window->property(BackdropProperty) : QVariant();
    if (!pixmap.isValid())
        return false;
    const std::optional<X11Window> target = x11Window(window);
    if (!target)
        return false;
    putImage(*target, pixmap.value<quint32>(), image, topLeft);
    xcb_clear_area(target->connection, 0, target->window, std::int16_t(topLeft.x()),
                   std::int16_t(topLeft.y()), std::uint16_t(image.width()),
                   std::uint16_t(image.height()));
    xcb_flush(target->connection);
    return true;
}

} // namespace cardomine::platform
