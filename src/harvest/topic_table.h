// The topics that one run of the scan driver found for a box.
#pragma once

#include <string>
#include <vector>

namespace quorix::harvest {

// Topic entries in the order they were found: link + "," + change marker.
// Topic number k (counted from 1, as TopicCount and NextTopic count) is
// stored at index k - 1. The table grows as far as a box's forums need.
using TopicTable = std::vector<std::string>;

}  // namespace quorix::harvest
