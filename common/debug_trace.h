// DebugTrace: the diagnostic hook both programs write their debug lines to.
// The delivered programs discard the text; a test may install a sink to read it.
#pragma once

using DebugSink = void (*)(const char* line);

// Null in the delivered programs; process-wide so that a test hears the
// lines of every file it drives.
extern DebugSink gDebugTraceSink;

int DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
