#include "feature/feature.h"

#include <cstring>

Feature::Feature() {
  std::memset(values, 0, sizeof values);
  reset();
}

void Feature::reset() {
  info = 0;
  x = y = z = scale = 0.0f;
  std::memset(matrix, 0, sizeof matrix);
  std::memset(triple, 0, sizeof triple);
  std::memset(values, 0, sizeof values);
}

void FeatureTable::clear() { records_.clear(); }

void FeatureTable::append(const Feature& feature) { records_.push_back(feature); }

void FeatureTable::resize(size_t n) { records_.resize(n); }

Feature* FeatureTable::at(size_t i) { return i < records_.size() ? &records_[i] : nullptr; }

const Feature* FeatureTable::at(size_t i) const {
  return i < records_.size() ? &records_[i] : nullptr;
}

size_t FeatureTable::count() const { return records_.size(); }
