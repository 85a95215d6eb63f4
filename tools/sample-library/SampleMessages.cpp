#include "sample-library/SampleMessages.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace lb = kestrin_libbuilder;

namespace kestrin_sample {

namespace {

bool IsAscii(const std::string& text)
{
    for (unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

// Bytes of the UTF-8 sequence that starts with lead.
size_t SequenceLength(unsigned char lead)
{
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// A fixed pseudo-random sequence (SplitMix64): the same index always gives
// the same message, whatever else was generated before it.
class Sequence {
public:
    explicit Sequence(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ULL + 0x632BE59BD9B4E019ULL) {}
    uint64_t Next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    size_t Below(size_t bound) { return static_cast<size_t>(Next() % bound); }

private:
    uint64_t m_state;
};

const std::vector<Person>& Correspondents()
{
    static const std::vector<Person> people = {
        {"Maria Lopez", "maria.lopez@example.com"},
        {"J\xC3\xBCrgen M\xC3\xBCller", "juergen.mueller@example.de"},
        {"Build Server", "builds@ci.example.org"},
        {"\xCE\x9D\xCE\xAF\xCE\xBA\xCE\xBF\xCF\x82 \xCE\xA0\xCE\xB1\xCF\x80\xCE\xB1\xCE\xB4\xCF\x8C\xCF\x80\xCE\xBF\xCF\x85\xCE\xBB\xCE\xBF\xCF\x82",
         "nikos@example.gr"},
        {"Example Newsletter", "news@lists.example.net"},
        {"Tom Baker", "tom.baker@example.co.uk"},
    };
    return people;
}

const std::vector<std::string>& Topics()
{
    static const std::vector<std::string> topics = {
        "Weekly status report",   "Meeting notes",       "Re: Budget for next quarter",
        "Invoice",                "Build results",       "Newsletter",
        "Re: Travel plans",       "Fwd: Contract draft", "Reminder: team lunch",
        "Question about the API",
    };
    return topics;
}

const std::vector<std::string>& Paragraphs()
{
    static const std::vector<std::string> paragraphs = {
        "Thanks for the update. I went through the numbers again and they look right to me;\n"
        "the only open point is the shipping estimate, which still assumes the old rates.\n"
        "Could you check with the warehouse before Friday?\n",
        "The build finished without errors on all three platforms. Test coverage went up\n"
        "slightly, mostly because of the new parser tests. The nightly job now also keeps\n"
        "the logs of the last ten runs, so comparing failures should be easier.\n",
        "As discussed in the meeting, we will move the release by one week. Marketing has\n"
        "agreed, and the support team will get the documentation on Monday. Please update\n"
        "the tickets that mention the old date.\n",
        "Attached are the minutes of today's call. Action items are at the end; owners are\n"
        "marked in bold in the shared document. Let me know if I missed anything.\n",
        "I booked the rooms for the workshop: two nights, breakfast included. The venue\n"
        "asks for the final number of participants ten days in advance, so please confirm\n"
        "by the end of the month.\n",
        "> Do we still need the old export?\n"
        "Yes, at least until the customers have moved. After that it can go; I would keep\n"
        "the converter around for another release just in case.\n",
        "From the newsletter: this month we look at spring cleaning for your inbox, a few\n"
        "shortcuts worth learning, and the results of our reader survey. Thank you to\n"
        "everyone who took part!\n",
    };
    return paragraphs;
}

std::string AttachmentBytes(Sequence& random, size_t size)
{
    std::string bytes = "%PDF-1.4\n";
    bytes.reserve(size);
    while (bytes.size() < size) {
        const uint64_t word = random.Next();
        for (int i = 0; i < 8 && bytes.size() < size; ++i)
            bytes += static_cast<char>((word >> (8 * i)) & 0xFF);
    }
    return bytes;
}

}  // namespace

std::string EncodeHeaderText(const std::string& text)
{
    if (IsAscii(text))
        return text;
    // 45 bytes make 60 base64 characters: each word stays within the
    // 75 characters an encoded word may have.
    const size_t maxBytes = 45;
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = i;
        while (end < text.size()) {
            const size_t next = end + SequenceLength(static_cast<unsigned char>(text[end]));
            if (next - i > maxBytes)
                break;
            end = next;
        }
        if (end == i)
            end = std::min(text.size(), i + SequenceLength(static_cast<unsigned char>(text[i])));
        if (!out.empty())
            out += "\n ";
        out += "=?UTF-8?B?" + lb::Base64Encode(text.substr(i, end - i), 0) + "?=";
        i = end;
    }
    return out;
}

std::string FormatAddress(const Person& person)
{
    if (person.name.empty())
        return person.address;
    return EncodeHeaderText(person.name) + " <" + person.address + ">";
}

lb::PartRecipe Utf8Text(const std::string& text, bool base64)
{
    lb::PartRecipe part = lb::TextPart(text, "plain", IsAscii(text) ? "us-ascii" : "utf-8");
    if (base64)
        part.transferEncoding = "base64";
    return part;
}

lb::EnvelopeMessage Letter(uint64_t rowId, const Person& from, const Person& to,
                           const std::string& subject, int64_t date, lb::PartRecipe body)
{
    lb::EnvelopeMessage message;
    message.rowId = rowId;
    message.senderName = from.name;
    message.senderAddress = from.address;
    message.subject = subject;
    message.dateSent = date;
    message.dateReceived = date + 37;
    const std::string domain = from.address.substr(from.address.find('@') + 1);
    message.messageId = "<" + std::to_string(date) + "." + std::to_string(rowId) + "@" + domain + ">";
    message.file = lb::MakeMessage(EncodeHeaderText(subject), std::move(body), date,
                                   FormatAddress(from), FormatAddress(to));
    message.file.dateReceived = message.dateReceived;
    for (auto& header : message.file.headers)
        if (header.first == "Message-Id")
            header.second = message.messageId;
    return message;
}

lb::EnvelopeMessage GeneratedMessage(uint64_t index, uint64_t rowId)
{
    Sequence random(index);
    const auto& people = Correspondents();
    const Person& from = people[random.Below(people.size())];
    static const Person owner{"Anna Schmidt", "anna.schmidt@example.com"};
    const std::string subject =
        Topics()[random.Below(Topics().size())] + " #" + std::to_string(index + 1);
    // Spread over 2023, a message every 26 minutes or so.
    const int64_t date = 1672531200 + static_cast<int64_t>(index) * 1577 +
                         static_cast<int64_t>(random.Below(600));

    std::string text = "Hello Anna,\n\n";
    const size_t paragraphs = 1 + random.Below(12);
    for (size_t i = 0; i < paragraphs; ++i)
        text += Paragraphs()[random.Below(Paragraphs().size())] + "\n";
    text += "Best regards,\n" + from.name + "\n";

    lb::PartRecipe body = Utf8Text(text);
    if (index % 10 == 9) {
        const std::string name = "scan-" + std::to_string(index + 1) + ".pdf";
        body = lb::Multipart("mixed", {std::move(body),
                                       lb::AttachmentPart(name, "application/pdf",
                                                          AttachmentBytes(random, 8192 + random.Below(40960)))});
    }
    return Letter(rowId, from, owner, subject, date, std::move(body));
}

}  // namespace kestrin_sample
