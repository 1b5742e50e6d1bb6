// Owned byte buffers, as the platform layer makes them.
#pragma once

#include "platform/byte_buffer.h"

namespace kx {

using platform::AllocateBytes;
using platform::ByteBuffer;

}  // namespace kx
