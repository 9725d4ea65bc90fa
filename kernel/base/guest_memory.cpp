// Guest memory: whole-copy helpers and the process_vm_readv/writev implementation.
#include "base/guest_memory.h"

#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "base/error_codes.h"

namespace vornos::kernel {

int32_t GuestMemory::read(uint32_t address, std::span<std::byte> destination) {
  return read_some(address, destination) == destination.size() ? 0 : kBadAddress;
}

int32_t GuestMemory::write(uint32_t address, std::span<const std::byte> source) {
  return write_some(address, source) == source.size() ? 0 : kBadAddress;
}

int32_t GuestMemory::read_string(uint32_t address, size_t limit, std::string& text) {
  text.clear();
  // Read up to each page end only, so a string that ends just before an unmapped page
  // is still read whole.
  std::array<std::byte, abi::kPageSize> chunk;
  uint64_t at = address;
  while (text.size() <= limit) {
    if (at > UINT32_MAX) return kBadAddress;
    const size_t to_page_end = static_cast<size_t>(abi::kPageSize - at % abi::kPageSize);
    const size_t wanted = std::min(to_page_end, limit + 1 - text.size());
    const size_t got = read_some(static_cast<uint32_t>(at), std::span(chunk).first(wanted));
    const auto* bytes = reinterpret_cast<const char*>(chunk.data());
    const auto* nul = static_cast<const char*>(std::memchr(bytes, 0, got));
    if (nul != nullptr) {
      text.append(bytes, nul);
      return 0;
    }
    if (got < wanted) return kBadAddress;
    text.append(bytes, got);
    at += got;
  }
  return kNameTooLong;
}

namespace {

constexpr size_t kPagesPerTransfer = 256;

// Splits [address, address + size) into page-sized remote pieces, so that the transfer stops
// exactly at the first page out of reach and reports every byte before it.
template <typename Transfer>
size_t transfer_by_pages(uint32_t address, std::byte* local, size_t size, Transfer transfer) {
  const uint64_t end = std::min<uint64_t>(uint64_t{address} + size, uint64_t{UINT32_MAX} + 1);
  uint64_t at = address;
  size_t done = 0;
  std::array<iovec, kPagesPerTransfer> remote;
  while (at < end) {
    size_t pieces = 0;
    size_t batch = 0;
    uint64_t piece_start = at;
    while (pieces < remote.size() && piece_start < end) {
      const uint64_t piece_end = std::min(end, (piece_start / abi::kPageSize + 1) * abi::kPageSize);
      remote[pieces++] = {reinterpret_cast<void*>(piece_start), static_cast<size_t>(piece_end - piece_start)};
      batch += static_cast<size_t>(piece_end - piece_start);
      piece_start = piece_end;
    }
    iovec local_piece{local + done, batch};
    ssize_t moved;
    do {
      moved = transfer(&local_piece, remote.data(), pieces);
    } while (moved < 0 && errno == EINTR);
    if (moved <= 0) return done;
    done += static_cast<size_t>(moved);
    at += static_cast<uint64_t>(moved);
    if (static_cast<size_t>(moved) < batch) return done;
  }
  return done;
}

}  // namespace

size_t ProcessMemory::read_some(uint32_t address, std::span<std::byte> destination) {
  return transfer_by_pages(address, destination.data(), destination.size(),
                           [this](iovec* local, iovec* remote, size_t pieces) {
                             return process_vm_readv(pid_, local, 1, remote, pieces, 0);
                           });
}

size_t ProcessMemory::write_some(uint32_t address, std::span<const std::byte> source) {
  return transfer_by_pages(address, const_cast<std::byte*>(source.data()), source.size(),
                           [this](iovec* local, iovec* remote, size_t pieces) {
                             return process_vm_writev(pid_, local, 1, remote, pieces, 0);
                           });
}

}  // namespace vornos::kernel
