// What one call of the reader met. Every operation that reads sets it, and
// the next such call replaces it: an error is told by the call that met it,
// never kept for a later one, and there is nothing to clear.
#ifndef D88_OUTCOME_H
#define D88_OUTCOME_H

namespace d88 {

// Why an open was refused: the name is a folder, device, FIFO or anything
// else but a regular file.
inline constexpr int kErrorNotRegularFile = -1;
// The file is no longer what was opened: it ended before the size it had at
// the open, or its size or time of last change are not those of the open.
inline constexpr int kErrorImageChanged = -2;

enum class Result : unsigned char {
    Done,     // found, read, answered
    NotThere, // what was asked for is not in the image (or no image or disk is open)
    Failed,   // reading failed: the answer is unknown, and `error` says why
};

struct [[nodiscard]] Outcome {
    Result result = Result::Done;
    // With Failed: an errno value (EIO for a read, ENOMEM for memory the
    // reader could not have), kErrorNotRegularFile or kErrorImageChanged.
    // 0 otherwise.
    int error = 0;

    constexpr bool done() const { return result == Result::Done; }
    constexpr bool failed() const { return result == Result::Failed; }

    static constexpr Outcome failure(int error) { return Outcome{Result::Failed, error}; }
    static constexpr Outcome found(bool there) { return Outcome{there ? Result::Done : Result::NotThere, 0}; }
};

} // namespace d88

#endif
