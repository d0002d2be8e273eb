// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sync/cardmerge.h"
#include "sync/valuemerge.h"

#include <QByteArray>
#include <QHash>

#include <optional>

// A phone's copy of a contact's vCard made before both sides changed the contact's name:
// neither side shows the name the copy holds, but the last pass's values, kept as
// digests, still do. The duplicate rule on those values: the same first and last name
// with a phone or e-mail box in common.
namespace cardomine::sync {

class LastPassValues
{
public:
    void add(const BaseValues &base, int number);
    // The contact whose last pass's values the boxes match, if any.
    std::optional<int> find(const Boxes &boxes) const;

private:
    QHash<QByteArray, int> m_points; // the name's digests with one phone or e-mail's
};

} // namespace cardomine::sync
