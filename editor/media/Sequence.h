// Image sequences: paths with one printf-style frame number ("frames/%05d.png"), matched against
// file names as FFmpeg's image2 muxer writes them. Shared by the clip reader and the writer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace bw::media {

// A path that names an image sequence for reading: a '%', digits, then 'd'.
bool IsSequencePattern(const std::string& path);

// A path fit to write a sequence to: one frame number ("%d", "%05d") and nothing else that printf
// would expand ("%%" is a literal percent sign).
bool HasFramePattern(const std::string& path);

// Whether `fileName` (no folder) is one that the sequence pattern `pattern` ("%05d.png") writes.
bool MatchesSequence(const std::string& pattern, const std::string& fileName, int64_t* number = nullptr);

// The numbers of the files an image sequence pattern ("frames/%05d.png") names in its folder, each
// written as the pattern writes it (00007.png, not 7.png or 0007.png); none for a pattern whose
// number is in a folder's name, or for a path that is no pattern.
std::vector<int64_t> SequenceNumbers(const std::string& pattern);

}  // namespace bw::media
