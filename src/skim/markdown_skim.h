// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tamsel {

// Blocks kept; no thumbnail has room for more.
constexpr std::size_t blockLimit = 24;

// Lines one code block collects; later lines of the same fence are dropped,
// and a renderer draws no more.
constexpr std::size_t codeLineLimit = 6;

// What the system keeps of one document: a title and a short list of blocks,
// already reduced to plain text. A plain value: copies are independent and
// nothing refers back to the file, so a skim may move to another thread.
//
// All text is UTF-8. Skimming guarantees: at most `blockLimit` (24) blocks;
// text blocks are never empty; a mono block holds 1 to 6 lines, each at most
// 120 user-perceived characters, whose first and last lines are not blank.
// Readers such as the renderer must still accept any skim.
struct MarkdownSkim {
  class Block {
   public:
    enum class Kind { body, heading, bullet, mono };

    static Block body(std::string text) { return {Kind::body, std::move(text)}; }
    static Block heading(std::string text) { return {Kind::heading, std::move(text)}; }
    static Block bullet(std::string text) { return {Kind::bullet, std::move(text)}; }
    static Block mono(std::vector<std::string> lines) { return {Kind::mono, std::move(lines)}; }

    Kind kind() const { return kind_; }
    bool isMono() const { return kind_ == Kind::mono; }

    // The payload of a body, heading or bullet block. Empty for a mono block.
    const std::string& text() const {
      static const std::string none;
      const auto* s = std::get_if<std::string>(&payload_);
      return s ? *s : none;
    }

    // The lines of a mono block, without line breaks. Empty for other kinds.
    const std::vector<std::string>& lines() const {
      static const std::vector<std::string> none;
      const auto* l = std::get_if<std::vector<std::string>>(&payload_);
      return l ? *l : none;
    }

   private:
    using Payload = std::variant<std::string, std::vector<std::string>>;
    Block(Kind kind, Payload payload) : kind_(kind), payload_(std::move(payload)) {}

    Kind kind_;
    Payload payload_;
  };

  std::string title;
  std::vector<Block> blocks;
};

// "body", "heading", "bullet" or "mono": the names used in dumps and JSON.
constexpr const char* kindName(MarkdownSkim::Block::Kind kind) {
  switch (kind) {
    case MarkdownSkim::Block::Kind::body:
      return "body";
    case MarkdownSkim::Block::Kind::heading:
      return "heading";
    case MarkdownSkim::Block::Kind::bullet:
      return "bullet";
    case MarkdownSkim::Block::Kind::mono:
      return "mono";
  }
  return "body";
}

}  // namespace tamsel
