// The empty workbooks of the two .xls formats: one sheet "Sheet1" without cells,
// exactly as the Excel driver writes it, made once per process on first use in
// a private folder that is removed again, so the bytes always match the driver.
#include "common/xls_engi.h"

#include "platform/dao/excel/workbook.h"
#include "platform/environment.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace {

std::vector<std::uint8_t> make_template(plat::dao::biff_version version)
{
  std::string folder = plat::temp_folder() + "/qvt-template-XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr)
    throw std::runtime_error("Cannot make a folder for the empty workbook");
  struct remover {
    std::string path;
    ~remover()
    {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  } const cleanup{folder};
  const std::string path = folder + "/empty.xls";
  {
    plat::dao::excel_workbook book(path, version);
    book.add_sheet(L"Sheet1", {});
    book.close();
  }
  std::error_code failed;
  const auto size = std::filesystem::file_size(path, failed);
  std::vector<std::uint8_t> bytes(failed ? 0 : size);
  std::ifstream in(path, std::ios::binary);
  if (bytes.empty() || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
    throw std::runtime_error("Cannot read the empty workbook");
  return bytes;
}

const std::vector<std::uint8_t>& template_of(plat::dao::biff_version version)
{
  if (version == plat::dao::biff_version::biff5) {
    static const std::vector<std::uint8_t> biff5 = make_template(version);
    return biff5;
  }
  static const std::vector<std::uint8_t> biff8 = make_template(version);
  return biff8;
}

} // namespace

const std::uint8_t* xls_engine_50::get_template() const
{
  return template_of(plat::dao::biff_version::biff5).data();
}

std::size_t xls_engine_50::get_template_size() const
{
  return template_of(plat::dao::biff_version::biff5).size();
}

const std::uint8_t* xls_engine_80::get_template() const
{
  return template_of(plat::dao::biff_version::biff8).data();
}

std::size_t xls_engine_80::get_template_size() const
{
  return template_of(plat::dao::biff_version::biff8).size();
}
