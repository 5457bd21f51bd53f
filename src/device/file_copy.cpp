// The block copy in both directions.
#include "device/file_copy.h"

#include "device/remote_handles.h"

namespace zp {

bool CopyFileToPocket(RemoteDevice& device, const std::string& source,
                      const std::u16string& destination, const ProgressSink& sink) {
  File from = OpenDesktopFile(source, FileMode::ReadExisting);
  if (!from) return false;
  RemoteFile to(device, device.CeCreateFile(destination, kGenericWrite, 0, kCreateAlways,
                                            kFileAttributeNormal));
  if (!to.valid()) return false;  // `from` closes on its own side

  bool ok = true;
  char block[kCopyBlock];
  for (;;) {
    std::uint32_t got = 0;
    if (!from.Read(block, sizeof block, got)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    std::uint32_t put = 0;
    if (!device.CeWriteFile(to.get(), block, got, &put) || put != got) {
      ok = false;
      break;
    }
    if (sink) sink(put);
  }
  from.Close();
  // A device file that cannot be closed may not hold what was written.
  if (!device.CeCloseHandle(to.Detach())) ok = false;
  return ok;
}

CopyOutcome CopyFromPocket(RemoteDevice& device, const std::u16string& source,
                           const std::string& destination, const ProgressSink& sink,
                           FileMode mode) {
  RemoteFile from(
      device, device.CeCreateFile(source, kGenericRead, 0, kOpenExisting, kFileAttributeNormal));
  if (!from.valid()) return CopyOutcome::SourceFailed;
  File to = OpenDesktopFile(destination, mode);
  if (!to) {
    return LastErrorCode() == kErrorFileExists ? CopyOutcome::DestinationExists
                                               : CopyOutcome::DestinationFailed;
  }

  bool ok = true;
  char block[kCopyBlock];
  for (;;) {
    std::uint32_t got = 0;
    if (!device.CeReadFile(from.get(), block, sizeof block, &got)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    std::uint32_t put = 0;
    if (!to.Write(block, got, put) || put != got) {
      ok = false;
      break;
    }
    if (sink) sink(put);
  }
  // The copy is done only when the bytes are on stable storage: the caller
  // deletes the device file next.
  if (ok && !to.Flush()) ok = false;
  if (!to.Close()) ok = false;
  from.Release();
  return ok ? CopyOutcome::Done : CopyOutcome::TransferFailed;
}

bool CopyFileFromPocket(RemoteDevice& device, const std::u16string& source,
                        const std::string& destination, const ProgressSink& sink) {
  return CopyFromPocket(device, source, destination, sink, FileMode::CreateAlways) ==
         CopyOutcome::Done;
}

}  // namespace zp
