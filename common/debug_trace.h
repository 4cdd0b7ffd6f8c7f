// DebugTrace: the diagnostic hook both programs write their debug lines to.
// The delivered programs discard the text; a test may install a sink to read it.
#pragma once

using DebugSink = void (*)(const char* line);

// Null in the delivered programs.
extern DebugSink DebugTraceSink;

int DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
