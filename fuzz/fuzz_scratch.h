// A private folder for a fuzz process, for the targets whose code under test
// reads files: made on first use under TMPDIR (else /tmp), removed with what
// it holds when the process exits normally.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kx::fuzz {

// The folder's path; the same for the process's whole life. Aborts when no
// folder can be made, since no input could then be tried.
const std::string& ScratchFolder();

// `name` inside the scratch folder.
std::string ScratchPath(const std::string& name);

// Replaces the file at `path` with `size` bytes of `data`; aborts when it
// cannot, since the input would then not be what the target reads.
void WriteWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace kx::fuzz
