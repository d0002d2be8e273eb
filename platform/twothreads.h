// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>

namespace cardomine::platform {

// Calls work(i) for each i below count, on the calling thread and one more, and returns
// once every call has returned. Each i is taken once, in no set order. An exception a call
// throws stops the others from taking more and is thrown again here. With no thread to
// spare, the calling thread does all of it.
void onTwoThreads(std::size_t count, const std::function<void(std::size_t)> &work);

} // namespace cardomine::platform
