// SPDX-License-Identifier: GPL-3.0-or-later
#include "startup/programstate.h"

#include "assets/assets.h"
#include "datastore/contactrecord.h"
#include "datastore/indexfile.h"
#include "datastore/pendingwork.h"
#include "platform/attributestore.h"
#include "platform/drive.h"
#include "platform/faults.h"
#include "platform/geometry.h"
#include "platform/messages.h"
#include "startup/frmsplash.h"

namespace cardomine {

void resetProgramState()
{
    CurrentRecord = ContactRecord();
    IndexLines.clear();

    platform::faults::reset();
    platform::attributestore::forceSidecar(false);
    platform::attributestore::forgetKnownFiles();
    platform::forgetNames();

    platform::setMessageService(nullptr);
    platform::forgetSeenFrame();

    pendingwork::forgetReading();
    assets::forgetIcons();
    FrmSplash::forgetArtwork();
}

} // namespace cardomine
