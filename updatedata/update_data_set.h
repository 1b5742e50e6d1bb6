// The update data in memory: per component a version text and an image, the
// package's stored checksum and the whole package as last read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/local_date.h"
#include "updatedata/byte_buffer.h"
#include "updatedata/component.h"
#include "updatedata/component_image.h"
#include "updatedata/kind_check.h"
#include "updatedata/package_load.h"

namespace kx {

// The package's fixed name, relative to the working directory.
inline constexpr const char* kPackageFileName = "DERadori.kx";

// FindUpdateFiles' result bits.
inline constexpr int kPackageFilePresent = 1;
inline constexpr int kComponentFilesPresent = 2;

// Owns the package image and one buffer per component. A ComponentImage that
// an accessor returns points into this object: it stays valid while the data
// set lives and until a later LoadPackage replaces that component's buffer.
// Not copyable, since descriptors point into it. Every file name is relative
// to the working directory.
class UpdateDataSet {
 public:
  UpdateDataSet();
  UpdateDataSet(const UpdateDataSet&) = delete;
  UpdateDataSet& operator=(const UpdateDataSet&) = delete;

  // --- the package file (package_file.cpp) ---

  // Reads, unscrambles, length-checks and splits DERadori.kx. 1: loaded;
  // 0: no file, shorter than the header, unreadable, or its length is not
  // 256 plus the four sizes; a file that is there and fails is reported
  // (platform::ReportFileRefusal). A failed load leaves the data set as it
  // was: version texts, images, stored checksum and package image.
  int LoadPackage();

  // LoadPackage, saying why it failed (kCannotRead with kNotFound: no
  // package file), and reporting nothing beyond what the file's opening
  // reports: the caller tells the reason.
  PackageLoad LoadPackageHere();

  // LoadPackage on a package at any path (the terminal tool inspects files of
  // other names), saying why it failed and reporting nothing beyond what the
  // file's opening reports. The length test needs only the header and the
  // file's length, so it is made before the rest of the file is read: a
  // file whose length its header does not state costs one 256-byte read.
  PackageLoad LoadPackageFrom(const std::string& path);

  // The same for a package's stored (scrambled) bytes in memory, as
  // MergePackage makes them.
  PackageLoad LoadPackageFromMemory(std::span<const std::uint8_t> stored);

  // 1 when the loaded images' byte sum equals the stored checksum exactly.
  // Meaningful only after LoadPackage returned 1.
  int VerifyChecksum() const { return CheckChecksum() ? 1 : 0; }

  // VerifyChecksum with both sums.
  ChecksumCheck CheckChecksum() const;

  // XORs `length` bytes in place with the key stream of `seed`; its own
  // inverse. Always 1: the key stream is applied as it is made.
  static int Scramble(std::uint8_t* buffer, std::int32_t seed, std::uint32_t length);

  // --- component files (component_files.cpp) ---

  // kComponentFilesPresent when any "KXFPGA*.rbf", "KXFirm*.s" or
  // "KXBoot*.s" exists, plus kPackageFilePresent when DERadori.kx does.
  int FindUpdateFiles() const;

  // 1 when every component file present holds the content its name promises:
  // FPGA files are not S-record text (an empty file is), firmware files are
  // S-record text with at least one data byte. A file that cannot be read
  // fails the check too: its kind cannot be told. The file that fails is
  // reported (platform::ReportFileRefusal).
  int CheckComponentFileKinds() const;

  // CheckComponentFileKinds, saying which file failed and why, and
  // reporting nothing beyond what the file's opening reports.
  KindCheck CheckKinds() const;

  // --- the rebuild (package_rebuild.cpp) ---

  // Merges the component files with the existing package, newer version
  // winning per component, and writes DERadori.kx anew, atomically, with the
  // seed of `date`. 1: written in full; 0: failed and the old package file is
  // untouched. A package that is there but does not load (its length test,
  // a read error, no permission) fails the rebuild: a package made without
  // it would lose its components. The merged result is not put into this
  // data set. The file at fault is reported (platform::ReportFileRefusal).
  int RebuildPackage(const platform::LocalDate& date);
  int RebuildPackage() { return RebuildPackage(platform::TodayLocal()); }

  // RebuildPackage, saying which file it wrote or why it failed, and
  // reporting nothing beyond what the files' opening reports. `write` is
  // the write(2) the package is written with (tests fail it).
  RebuildOutcome Rebuild(const platform::LocalDate& date,
                         const platform::WriteFunction& write = {});

  // The merge alone: the stored bytes that Rebuild would write, into
  // `stored`; no file is written. Loads the existing package into this data
  // set as the rebuild does.
  RebuildOutcome MergePackage(const platform::LocalDate& date, std::vector<std::uint8_t>& stored);

  // --- accessors: copies; they check and change nothing ---

  ComponentImage GetFpga1Image() const { return ImageOf(Component::kFpga1); }
  ComponentImage GetFpga2Image() const { return ImageOf(Component::kFpga2); }
  ComponentImage GetFirmApplImage() const { return ImageOf(Component::kFirmAppl); }
  ComponentImage GetFirmBootImage() const { return ImageOf(Component::kFirmBoot); }
  std::string GetFpga1Version() const { return VersionOf(Component::kFpga1); }
  std::string GetFpga2Version() const { return VersionOf(Component::kFpga2); }
  std::string GetFirmApplVersion() const { return VersionOf(Component::kFirmAppl); }
  std::string GetFirmBootVersion() const { return VersionOf(Component::kFirmBoot); }

  ComponentImage ImageOf(Component c) const { return m_images[Index(c)]; }
  std::string VersionOf(Component c) const { return m_versions[Index(c)]; }

  // The stored checksum of the last package loaded (0 before the first).
  double StoredChecksum() const { return m_storedChecksum; }
  // The unscrambled package as last read, and its length (0: none).
  const std::uint8_t* PackageImage() const { return m_package.get(); }
  std::size_t PackageSize() const { return m_packageSize; }

 private:
  static constexpr std::size_t Index(Component c) { return static_cast<std::size_t>(c); }

  // LoadPackageFrom without the path in its outcome.
  PackageLoad ReadPackage(const std::string& path);
  // Unscrambles and splits a stored package whose length test has passed
  // and takes it in whole; kNoMemory leaves the data set as it was.
  PackageLoad TakeStoredPackage(ByteBuffer stored, std::size_t size);

  std::array<std::string, kComponentCount> m_versions;
  std::array<ComponentImage, kComponentCount> m_images;
  std::array<ByteBuffer, kComponentCount> m_buffers;  // what m_images[i].data points into
  double m_storedChecksum = 0.0;
  ByteBuffer m_package;
  std::size_t m_packageSize = 0;
};

}  // namespace kx
