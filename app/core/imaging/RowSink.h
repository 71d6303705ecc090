#pragma once

#include <cstdint>

namespace imaging {

class Frame;

// Where a picture goes as it is made, row by row from the top: each row is
// B, G, R, X pixels of the picture's width, written into the room Row
// hands out and handed back by Done. A consumer that converts the rows
// (the JPEG planes) can so keep them in cache instead of a whole frame.
class RowSink {
public:
    virtual uint8_t* Row(int y) = 0;
    virtual void Done(int y) = 0;

protected:
    ~RowSink() = default;
};

// The rows written straight into a frame already of the right size.
class FrameRows final : public RowSink {
public:
    explicit FrameRows(Frame* frame) : frame_(frame) {}
    uint8_t* Row(int y) override;
    void Done(int) override {}

private:
    Frame* frame_;
};

}  // namespace imaging
