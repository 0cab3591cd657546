#include "common/eicar.h"

std::string EicarText() {
    std::string text = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$";
    text += "EICAR-STANDARD-ANTIVIRUS-";
    text += "TEST-FILE!$H+H*";
    return text;
}
