#include <cstdio>
#include <fstream>
#include <vector>

#include "probe.h"

namespace {

constexpr int kWidth = 366;
constexpr int kHeight = 213;

bool WriteBitmap(const std::string& path, const std::vector<unsigned char>& bgra, int width,
                 int height) {
  // 24-bit bottom-up rows padded to four bytes.
  const int stride = (width * 3 + 3) & ~3;
  std::vector<unsigned char> data(static_cast<size_t>(stride) * height, 0);
  for (int y = 0; y < height; ++y) {
    const unsigned char* src = &bgra[static_cast<size_t>(y) * width * 4];
    unsigned char* dst = &data[static_cast<size_t>(height - 1 - y) * stride];
    for (int x = 0; x < width; ++x) {
      dst[x * 3 + 0] = src[x * 4 + 0];
      dst[x * 3 + 1] = src[x * 4 + 1];
      dst[x * 3 + 2] = src[x * 4 + 2];
    }
  }
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = static_cast<DWORD>(data.size());
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

void Fill(HDC dc, RECT r, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

}  // namespace

bool RenderExpected(const std::string& exe, const std::string& out, int barRight,
                    const std::string& percent, const std::string& status, bool flat) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = kWidth;
  bi.bmiHeader.biHeight = -kHeight;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP target = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (target == nullptr) return false;
  HGDIOBJ oldTarget = SelectObject(dc, target);

  HDC skinDC = nullptr;
  HGDIOBJ oldSkin = nullptr;
  HBITMAP skin = nullptr;
  if (!flat) {
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
      std::fprintf(stderr, "cannot load %s\n", exe.c_str());
      return false;
    }
    skin = static_cast<HBITMAP>(
        LoadImageA(module, MAKEINTRESOURCEA(130), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (skin == nullptr) {
      std::fprintf(stderr, "no bitmap 130 in %s\n", exe.c_str());
      return false;
    }
    skinDC = CreateCompatibleDC(dc);
    oldSkin = SelectObject(skinDC, skin);
  }

  // Background: the skin's upper half, or flat grey.
  if (skinDC != nullptr) {
    BitBlt(dc, 0, 0, kWidth, kHeight, skinDC, 0, 0, SRCCOPY);
  } else {
    Fill(dc, RECT{0, 0, kWidth, kHeight}, RGB(200, 200, 200));
  }
  // Bar: the same rectangle of the lower half, or flat orange.
  if (barRight >= 0) {
    const int right = barRight < kWidth ? barRight : kWidth;
    if (skinDC != nullptr) {
      BitBlt(dc, 17, 173, right - 17, 25, skinDC, 17, 173 + kHeight, SRCCOPY);
    } else {
      Fill(dc, RECT{17, 173, right, 198}, RGB(255, 200, 100));
    }
  }
  HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  RECT percentRect = {20, 173, 346, 198};
  DrawTextA(dc, percent.c_str(), -1, &percentRect,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX);
  RECT statusRect = {0, 133, 366, 163};
  DrawTextA(dc, status.c_str(), -1, &statusRect,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX);
  SelectObject(dc, oldFont);
  GdiFlush();

  std::vector<unsigned char> pixels(static_cast<unsigned char*>(bits),
                                    static_cast<unsigned char*>(bits) + kWidth * kHeight * 4);
  const bool ok = WriteBitmap(out, pixels, kWidth, kHeight);
  if (skinDC != nullptr) {
    SelectObject(skinDC, oldSkin);
    DeleteDC(skinDC);
    DeleteObject(skin);
  }
  SelectObject(dc, oldTarget);
  DeleteObject(target);
  DeleteDC(dc);
  return ok;
}

bool UpdateProgramResource(const std::string& exe, const std::string& type, int id, int lang,
                           const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return false;
  }
  std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.empty()) {
    std::fprintf(stderr, "%s is empty\n", file.c_str());
    return false;
  }
  HANDLE update = BeginUpdateResourceA(exe.c_str(), FALSE);
  if (update == nullptr) {
    std::fprintf(stderr, "BeginUpdateResource %s: error %lu\n", exe.c_str(), GetLastError());
    return false;
  }
  LPCSTR typeName = type == "BITMAP" ? MAKEINTRESOURCEA(2) : type.c_str();
  const BOOL updated = UpdateResourceA(update, typeName, MAKEINTRESOURCEA(id),
                                       static_cast<WORD>(lang), data.data(),
                                       static_cast<DWORD>(data.size()));
  if (!updated) {
    std::fprintf(stderr, "UpdateResource: error %lu\n", GetLastError());
    EndUpdateResourceA(update, TRUE);
    return false;
  }
  if (!EndUpdateResourceA(update, FALSE)) {
    std::fprintf(stderr, "EndUpdateResource: error %lu\n", GetLastError());
    return false;
  }
  return true;
}
