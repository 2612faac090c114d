// libFuzzer target: any bytes as an Access file, opened, its catalogue read and
// every local table scanned. The only acceptable failure is a JetError.
// Inputs are opened with the password "password", which the encrypted seeds
// have, so their pages are deciphered too; agile hash rounds are capped so a
// mutated spin count cannot make one input take seconds.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "jet/office_crypto.h"
#include "read_everything.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  jet::LimitSpinCount(5000);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The engine reads files by name; an in-memory file keeps the run off the disk.
  int fd = memfd_create("fuzz.mdb", MFD_CLOEXEC);
  if (fd < 0) return 0;
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  try {
    jet::testing::ReadEverything(path, "password");
  } catch (const jet::JetError&) {
  }
  close(fd);
  return 0;
}
