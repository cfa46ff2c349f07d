#pragma once
// Pictures: an image control showing a bitmap or an icon, and a list of icons.
#include "framework/Control.h"

namespace lv {

// A bitmap or an icon in a static control. The control owns the handle it is given and
// frees it when it is replaced or the control goes.
class TImage : public TControl {
  public:
    ~TImage() override;
    void Create(TForm& form, int id, int left, int top, int width, int height);
    void SetBitmap(HBITMAP bitmap);
    void SetIcon(HICON icon);
    HBITMAP Bitmap() const { return bitmap_; }
    HICON Icon() const { return icon_; }

  private:
    void SetImage(UINT type, DWORD style, HANDLE image);
    void Release();

    HBITMAP bitmap_ = nullptr;
    HICON icon_ = nullptr;
};

class TImageList {
  public:
    TImageList() = default;
    TImageList(const TImageList&) = delete;
    TImageList& operator=(const TImageList&) = delete;
    ~TImageList();

    void Create(int width, int height);
    // The list keeps a copy; the caller still owns `icon`.
    void Add(HICON icon);
    int Count() const;
    // A new icon the caller owns (DestroyIcon).
    HICON GetIcon(int index) const;
    HIMAGELIST Handle() const { return list_; }

  private:
    HIMAGELIST list_ = nullptr;
};

} // namespace lv
