#pragma once
// The stamp record's stored form: every field in one fixed order, the same wherever a stamp
// record is kept (a brush's stored attributes, a document's brush settings).

namespace tarnix {

class Stream;
struct StampConfiguration;

/// @brief Writes `stamp` to `stream`, or reads it back, field by field.
void ExchangeStamp(Stream& stream, StampConfiguration& stamp);

}  // namespace tarnix
