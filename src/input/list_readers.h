// Readers of the two feature inputs: a feature list (four numbers a line) and a command
// file (six tab-separated fields a line, already held in a TextFile). Neither prints.
#pragma once

#include <vector>

#include "feature/feature.h"
#include "input/text_file.h"

// Fills `features` (cleared first) with one record per piece of the file that begins
// with four numbers. -1 when the file cannot be opened (table untouched); otherwise the
// number of records.
int read_feature_list(const char* path, FeatureTable* features);

// For every accepted line of `text` (not starting with "#", at least five tabs) appends
// the image path, the feature and the output code; the strings point into `text`, whose
// lines are split in place. `features` is cleared first. Returns the record count.
int read_command_file(std::vector<const char*>* image_paths, FeatureTable* features,
                      std::vector<const char*>* output_codes, TextFile* text);
