// The string table of the simulated host executable, built from the texts tests give it.
#include "platform/posix/control.h"
#include "platform/posix/resources.h"

#include <array>
#include <map>
#include <memory>
#include <mutex>

namespace {

constexpr UINT kStringsPerBlock = 16;
constexpr uint16_t kStringType = 6;  // RT_STRING

struct Block {
  std::array<std::wstring, kStringsPerBlock> texts;
  std::vector<unsigned char> bytes;  // the block as the resource compiler lays it out
  posix::EmbeddedResource record{};
};

using Key = std::pair<uint16_t, uint16_t>;  // block number, language

struct HostTable {
  std::mutex lock;
  std::map<Key, std::unique_ptr<Block>> blocks;
  // Replaced blocks: the plug-in may still read one it found before.
  std::vector<std::unique_ptr<Block>> retired;
};

HostTable& Table() {
  static HostTable* table = new HostTable;
  return *table;
}

void PutUnit(std::vector<unsigned char>& bytes, uint16_t unit) {
  bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
  bytes.push_back(static_cast<unsigned char>(unit >> 8));
}

std::unique_ptr<Block> Build(const std::array<std::wstring, kStringsPerBlock>& texts, Key key) {
  auto block = std::make_unique<Block>();
  block->texts = texts;
  for (const auto& text : texts) {
    PutUnit(block->bytes, static_cast<uint16_t>(text.size()));
    for (wchar_t c : text) PutUnit(block->bytes, static_cast<uint16_t>(c));
  }
  block->record = {kStringType, key.first, key.second, block->bytes.data(), block->bytes.size()};
  return block;
}

}  // namespace

namespace posix {

void SetHostString(UINT id, const std::wstring& text, WORD language) {
  HostTable& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  Key key{static_cast<uint16_t>(id / kStringsPerBlock + 1), language};
  std::array<std::wstring, kStringsPerBlock> texts;
  auto found = t.blocks.find(key);
  if (found != t.blocks.end()) {
    texts = found->second->texts;
    t.retired.push_back(std::move(found->second));
  }
  texts[id % kStringsPerBlock] = text;
  t.blocks[key] = Build(texts, key);
}

void ClearHostStrings() {
  HostTable& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  for (auto& entry : t.blocks) t.retired.push_back(std::move(entry.second));
  t.blocks.clear();
}

const EmbeddedResource* FindHostResource(uint16_t type, uint16_t id, int language) {
  if (type != kStringType) return nullptr;
  HostTable& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  if (language >= 0) {
    auto found = t.blocks.find({id, static_cast<uint16_t>(language)});
    return found == t.blocks.end() ? nullptr : &found->second->record;
  }
  auto preferred = t.blocks.find({id, kHostDefaultLanguage});
  if (preferred != t.blocks.end()) return &preferred->second->record;
  for (const auto& entry : t.blocks)
    if (entry.first.first == id) return &entry.second->record;
  return nullptr;
}

}  // namespace posix
