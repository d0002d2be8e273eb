// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Everything the program keeps between calls, in one list. Each library owns its
// pieces and offers the reset named beside them (a lower library cannot reach an upper
// one); resetProgramState() runs them all, so that a test starts from the state a
// fresh program starts from.
//
// Program-wide by the program's design (the record routines and the window share
// them; the window that registers the boxes takes them away again):
//   CurrentRecord        datastore/contactrecord.h   reset: = ContactRecord()
//   IndexLines           datastore/indexfile.h       reset: .clear()
//   the record boxes     datastore/datafunctions.h   Data_Functions::setBoxes; left to
//                                                    the window that registered them
//
// The implementation's own:
//   platform/ (files, Qt Core)
//     fault injection: the operation count, the armed fault, the writes seen
//                          platform/faults.h           faults::reset()
//     the attribute store's choice (sidecar forced) and what it learnt about files
//     (digests, whether write bits hold)
//                          platform/attributestore.h   forceSidecar(false), forgetKnownFiles()
//     the path caches: folder listings, resolved paths, the drive root last worked out
//                          platform/drive.h            forgetNames()
//     the code page table (built once from constants; nothing to reset)
//                          platform/textcodec.cpp
//   platform/ (windows)
//     the installed message service
//                          platform/messages.h         setMessageService(nullptr)
//     the window frame last seen
//                          platform/geometry.h         forgetSeenFrame()
//     the fonts registered with the application; forgotten with the application,
//     which a test case sets up once
//                          platform/fonts.h            (none)
//   datastore/
//     the pending-work marker kept open between reads, and its last text
//                          datastore/pendingwork.h     pendingwork::forgetReading()
//   assets/
//     the icons made, and those being drawn ahead
//                          assets/assets.h             assets::forgetIcons()
//   startup/
//     the splash's picture drawn ahead
//                          startup/frmsplash.h         FrmSplash::forgetArtwork()
//
// Constants (paths, texts, tables) are not state and are not listed.
namespace cardomine {

// Runs every reset above, CurrentRecord and IndexLines included. The registered boxes
// stay with their window. Call it when no Program and no record routine is running.
void resetProgramState();

} // namespace cardomine
