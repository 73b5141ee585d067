// Kept apart from the VARIANT headers: the storage interface declares its own
// 64-bit seek types.
#include "excel_damage.h"

#include "platform/storage/storage.h"
#include "platform/text_codec.h"

namespace excel_test {

bool damage_stream(const std::string& path, bool biff8,
                   const std::vector<std::pair<std::uint64_t, std::uint8_t>>& bytes)
{
  std::wstring wide;
  if (!plat::utf8_to_wide(path, wide))
    return false;
  IStorage* storage = nullptr;
  if (FAILED(StgOpenStorage(wide.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, &storage)))
    return false;
  IStream* stream = nullptr;
  bool ok = SUCCEEDED(storage->OpenStream(biff8 ? L"Workbook" : L"Book", nullptr,
                                          STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &stream));
  for (const auto& [position, byte] : bytes) {
    if (!ok)
      break;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(position);
    ULONG written = 0;
    ok = SUCCEEDED(stream->Seek(at, STREAM_SEEK_SET, nullptr)) &&
         SUCCEEDED(stream->Write(&byte, 1, &written)) && written == 1;
  }
  if (stream != nullptr)
    stream->Release();
  storage->Release();
  return ok;
}

} // namespace excel_test
