// Tokenizes arbitrary bytes and checks what every consumer relies on: tokens come in input order and
// do not overlap, every range lies inside the input, Text views are the bytes of their range, and an
// attribute's raw value lies inside its tag. Crashes and sanitizer reports are the other findings.

#include "kvHtmlTokenizer.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    TkvHtmlTokenizer tokenizer(input);
    TkvHtmlToken token;
    size_t previousEnd = 0;
    size_t count = 0;
    while (tokenizer.Next(token)) {
        if (token.begin < previousEnd || token.end < token.begin || token.end > size)
            std::abort();
        if (token.end == token.begin && token.kind != TkvHtmlToken::Text)
            std::abort();
        if (token.kind == TkvHtmlToken::Text && ((token.text.empty() && input.substr(token.begin, 9) != "<![CDATA[") ||
                                                 token.text.data() < input.data() + token.begin ||
                                                 token.text.data() + token.text.size() > input.data() + token.end))
            std::abort();
        for (const auto &a : token.attributes) {
            if (a.valueBegin > a.valueEnd || a.valueBegin < token.begin || a.valueEnd > token.end || a.name.empty())
                std::abort();
        }
        if ((token.kind == TkvHtmlToken::StartTag || token.kind == TkvHtmlToken::EndTag) &&
            (token.name.empty() || input[token.begin] != '<' || input[token.end - 1] != '>'))
            std::abort();
        previousEnd = token.end;
        if (++count > size + 1)
            std::abort(); // every token consumes input
    }
    if (token.kind != TkvHtmlToken::EndOfFile)
        std::abort();
    return 0;
}
