#include "framework/Images.h"


namespace lv {

TImage::~TImage() {
    Release();
}

void TImage::Create(TForm& form, int id, int left, int top, int width, int height) {
    // SS_REALSIZECONTROL: the control keeps its own size instead of taking the image's.
    CreateControl(form, id, WC_STATICW, "", SS_BITMAP | SS_REALSIZECONTROL, 0, left, top, width,
                  height);
}

void TImage::SetBitmap(HBITMAP bitmap) {
    Release();
    bitmap_ = bitmap;
    SetImage(IMAGE_BITMAP, SS_BITMAP, bitmap);
}

void TImage::SetIcon(HICON icon) {
    Release();
    icon_ = icon;
    SetImage(IMAGE_ICON, SS_ICON, icon);
}

void TImage::SetImage(UINT type, DWORD style, HANDLE image) {
    // The static control takes only the kind of image its style names.
    LONG_PTR current = GetWindowLongPtrW(Handle(), GWL_STYLE);
    SetWindowLongPtrW(Handle(), GWL_STYLE, (current & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | style);
    SendMessageW(Handle(), STM_SETIMAGE, type, reinterpret_cast<LPARAM>(image));
}

void TImage::Release() {
    if (Handle() && IsWindow(Handle())) {
        // A bitmap with an alpha channel is copied by the control; the copy comes back here
        // and is ours to free as well.
        LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE) & SS_TYPEMASK;
        UINT type = style == SS_ICON ? IMAGE_ICON : IMAGE_BITMAP;
        auto previous = reinterpret_cast<HANDLE>(SendMessageW(Handle(), STM_SETIMAGE, type, 0));
        if (type == IMAGE_BITMAP && previous && previous != bitmap_)
            DeleteObject(previous);
    }
    if (bitmap_)
        DeleteObject(bitmap_);
    if (icon_)
        DestroyIcon(icon_);
    bitmap_ = nullptr;
    icon_ = nullptr;
}

TImageList::~TImageList() {
    if (list_)
        ImageList_Destroy(list_);
}

void TImageList::Create(int width, int height) {
    list_ = ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 2, 2);
}

void TImageList::Add(HICON icon) {
    ImageList_ReplaceIcon(list_, -1, icon);
}

int TImageList::Count() const {
    return ImageList_GetImageCount(list_);
}

HICON TImageList::GetIcon(int index) const {
    return ImageList_GetIcon(list_, index, ILD_NORMAL);
}

} // namespace lv
