#include "qrcode/maskutil.h"

bool TMaskUtil::GetDataMaskBit(int maskPattern, int x, int y) {
    const int i = y; // row
    const int j = x; // column
    switch (maskPattern) {
    case 0:
        return (i + j) % 2 == 0;
    case 1:
        return i % 2 == 0;
    case 2:
        return j % 3 == 0;
    case 3:
        return (i + j) % 3 == 0;
    case 4:
        return (i / 2 + j / 3) % 2 == 0;
    case 5:
        return (i * j) % 2 + (i * j) % 3 == 0;
    case 6:
        return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
    case 7:
        return ((i * j) % 3 + (i + j) % 2) % 2 == 0;
    default:
        return true;
    }
}
