// ParamList: the parameter tokens of one call built on the fly (a method's
// "this" in front of its arguments, a property's value moved forward). Most
// calls have a few parameters, so they stay in the list itself and a call
// costs no heap allocation; longer lists move to the heap.
#pragma once
#include <algorithm>
#include <vector>

#include "values/expr_token.h"

class ParamList {
 public:
  ParamList() = default;
  ParamList(const ParamList&) = delete;
  ParamList& operator=(const ParamList&) = delete;

  // Adds one parameter at the end.
  void Push(ExprToken* token) {
    if (count_ < kInline && heap_.empty()) {
      inline_[count_++] = token;
      return;
    }
    if (heap_.empty()) heap_.assign(inline_, inline_ + count_);
    heap_.push_back(token);
    ++count_;
  }
  // Adds `count` parameters at the end.
  void Append(ExprToken** tokens, int count) {
    if (count > 0 && heap_.empty() && count_ + count <= kInline) {
      std::copy(tokens, tokens + count, inline_ + count_);
      count_ += count;
      return;
    }
    for (int i = 0; i < count; ++i) Push(tokens[i]);
  }
  ExprToken** Data() { return heap_.empty() ? inline_ : heap_.data(); }
  int Count() const { return count_; }

 private:
  static constexpr int kInline = 12;
  ExprToken* inline_[kInline] = {};
  int count_ = 0;
  std::vector<ExprToken*> heap_;
};
