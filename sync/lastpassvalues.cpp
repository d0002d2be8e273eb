// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/lastpassvalues.h"

#include <array>
#include <cstdint>

namespace cardomine::sync {

namespace {

constexpr std::array PointBoxes{FieldBox::HomePhone, FieldBox::WorkPhone, FieldBox::PagerMobile,
                                FieldBox::FaxOrEmail};

QByteArray keyOf(const BaseValues &values, FieldBox point)
{
    const std::array<std::uint32_t, 4> parts{values.digest[size_t(FieldBox::FirstName)],
                                             values.digest[size_t(FieldBox::LastName)],
                                             std::uint32_t(point), values.digest[size_t(point)]};
    return QByteArray(reinterpret_cast<const char *>(parts.data()), sizeof parts);
}

} // namespace

void LastPassValues::add(const BaseValues &base, int number)
{
    static const BaseValues Empty = baseOf(Boxes{});
    for (const FieldBox point : PointBoxes)
        if (base.digest[size_t(point)] != Empty.digest[size_t(point)])
            m_points.insert(keyOf(base, point), number);
}

std::optional<int> LastPassValues::find(const Boxes &boxes) const
{
    const BaseValues values = baseOf(boxes);
    for (const FieldBox point : PointBoxes) {
        if (boxes.box[size_t(point)].trimmed().isEmpty())
            continue;
        if (const auto it = m_points.constFind(keyOf(values, point)); it != m_points.cend())
            return *it;
    }
    return std::nullopt;
}

} // namespace cardomine::sync
