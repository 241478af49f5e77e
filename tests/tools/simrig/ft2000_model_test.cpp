#include "tools/simrig/ft2000_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "app/router/cat_commands.h"

namespace corvane {
namespace {

struct Step {
  std::string sent;
  std::string answered;
};

struct Dialogue {
  std::string name;
  std::vector<Step> steps;
  bool auto_info = false;
};

const std::string kIfDefault = "IF00114070000+000000200000;";

const Dialogue kDialogues[] = {
    {"Identification", {{"ID;", "ID0251;"}, {"ID1;", "?;"}}},
    {"FrequenciesStartOnDefaults", {{"FA;", "FA14070000;"}, {"FB;", "FB07000000;"}}},
    {"FrequencyASetIsSilentAndReadsBack", {{"FA14074000;", ""}, {"FA;", "FA14074000;"}}},
    {"FrequencyBReadsBackWithEightDigits", {{"FB00050000;", ""}, {"FB;", "FB00050000;"}}},
    {"VfosAreIndependent", {{"FB21074000;", ""}, {"FA;", "FA14070000;"}, {"FB;", "FB21074000;"}}},
    {"MalformedFrequencyIsRejectedAndKeepsState",
     {{"FA1407;", "?;"},
      {"FA1407400x;", "?;"},
      {"FA140740000;", "?;"},
      {"FA00001000;", "?;"},
      {"FA60000001;", "?;"},
      {"FA;", "FA14070000;"}}},
    {"ModeSetAndRead",
     {{"MD0;", "MD02;"},
      {"MD01;", ""},
      {"MD0;", "MD01;"},
      {"MD1C;", ""},
      {"MD1;", "MD1C;"},
      {"MD0;", "MD01;"}}},
    {"ModeRejectsUnknownDigitsAndReceivers",
     {{"MD00;", "?;"}, {"MD0E;", "?;"}, {"MD0c;", "?;"}, {"MD2;", "?;"}, {"MD;", "?;"}}},
    {"UnknownQueriesGetQuestionMark",
     {{"ZZ;", "?;"}, {"fa;", "?;"}, {";", "?;"}, {"F;", "?;"}, {"\r\nID;", "?;"}}},
    {"EchoedRejectionIsNotAnswered", {{"ZZ;?;", "?;"}, {"?;", ""}}},
    {"InformationReflectsFrequencyAndMode",
     {{"IF;", kIfDefault},
      {"FA07074000;", ""},
      {"MD0C;", ""},
      {"IF;", "IF00107074000+000000C00000;"},
      {"IF1;", "?;"}}},
    {"OppositeBandInformationReflectsVfoB",
     {{"FB03573000;", ""}, {"MD11;", ""}, {"OI;", "OI00103573000+000000100000;"}}},
    {"AutoInformationSwitch",
     {{"AI;", "AI0;"},
      {"AI1;", ""},
      {"AI;", "AI1;"},
      {"AI0;", ""},
      {"AI;", "AI0;"},
      {"AI2;", "?;"}}},
    {"MenuReadAndSet",
     {{"EX029;", "EX0291;"},
      {"EX0290;", ""},
      {"EX029;", "EX0290;"},
      {"EX999;", "?;"},
      {"EX02;", "?;"},
      {"EX1234;", ""},
      {"EX123;", "EX1234;"}}},
    {"VfoSelect", {{"VS;", "VS0;"}, {"VS1;", ""}, {"VS;", "VS1;"}, {"VS2;", "?;"}}},
    {"TransmitVfo",
     {{"FT;", "FT0;"}, {"FT3;", ""}, {"FT;", "FT1;"}, {"FT0;", ""}, {"FT;", "FT0;"}}},
    {"Width",
     {{"SH0;", "SH016;"},
      {"SH031;", ""},
      {"SH0;", "SH031;"},
      {"SH032;", "?;"},
      {"SH1;", "SH116;"}}},
    {"Narrow",
     {{"NA0;", "NA00;"}, {"NA01;", ""}, {"NA0;", "NA01;"}, {"NA1;", "NA10;"}, {"NA02;", "?;"}}},
    {"RoofingFilter", {{"RF0;", "RF00;"}, {"RF03;", ""}, {"RF0;", "RF03;"}, {"RF2;", "?;"}}},
    {"PowerAndTransmit",
     {{"PS;", "PS1;"},
      {"TX;", "TX0;"},
      {"TX1;", ""},
      {"TX;", "TX1;"},
      {"PS0;", ""},
      {"PS;", "PS0;"}}},
    {"SeveralCommandsInOneChunk",
     {{"ID;FA;MD0;", "ID0251;FA14070000;MD02;"}, {"FA14074000;FA;", "FA14074000;"}}},
    {"CommandSplitAcrossChunks",
     {{"F", ""},
      {"A;", "FA14070000;"},
      {"ID;F", "ID0251;"},
      {"B;", "FB07000000;"},
      {"FA1407", ""},
      {"5000;FA;", "FA14075000;"}}},
    {"AutoInformationReportsChangesUnasked",
     {{"AI1;", ""},
      {"FA14074000;", "FA14074000;"},
      {"FB07010000;", "FB07010000;"},
      {"MD03;", "IF00114074000+000000300000;"},
      {"MD1C;", "MD1C;"},
      {"FA14074000;MD03;", ""},
      {"FA;", "FA14074000;"},
      {"FA14075000;ID;", "FA14075000;ID0251;"},
      {"AB;", "FB14075000;MD13;"},
      {"BS05;", "FA14000000;"}}},
    {"CopyAToB", {{"FA07074000;MD03;AB;", ""}, {"FB;MD1;", "FB07074000;MD13;"}, {"AB0;", "?;"}}},
    {"BandSelectMovesTheSelectedVfo",
     {{"BS03;FA;", "FA07000000;"},
      {"VS1;BS10;FB;FA;", "FB50000000;FA07000000;"},
      {"BS;", "?;"},
      {"BS3;", "?;"},
      {"BS11;", "?;"}}},
    {"PlainValuesReadSetAndReject",
     {{"AC;AG0;AG1;BI;BP00;BP01;IS0;MG;PA0;PC;RA0;RM5;SM0;",
       "AC000;AG0128;AG1128;BI0;BP00000;BP01000;IS0+0000;MG128;PA00;PC100;RA00;RM5000;SM0000;"},
      {"AC001;AG1200;BI1;BP01123;IS0-0250;MG050;PA02;PC050;RA03;", ""},
      {"AC;AG0;AG1;BI;BP01;IS0;MG;PA0;PC;RA0;",
       "AC001;AG0128;AG1200;BI1;BP01123;IS0-0250;MG050;PA02;PC050;RA03;"},
      // Wrong width, selector, sign or range; meters cannot be set.
      {"AC3;AC003;AG2;AG0256;BI2;BP02;IS1;IS00250;", "?;?;?;?;?;?;?;?;"},
      {"MG25;PA1;PA03;PC101;RA04;RM;RM5000;SM2;SM0000;", "?;?;?;?;?;?;?;?;?;"},
      {"AC;AG0;BI;IS0;PA0;PC;RA0;SM0;", "AC001;AG0128;BI1;IS0-0250;PA02;PC050;RA03;SM0000;"}}},
    {"AutoInformationOffReportsNothing",
     {{"AI0;", ""}, {"FA14074000;", ""}, {"MD03;", ""}, {"FB07010000;", ""}}},
    {"AutoInformationFromStart", {{"AI;", "AI1;"}, {"FA14074000;", "FA14074000;"}}, true},
};

void PrintTo(const Dialogue& dialogue, std::ostream* os) {
  *os << dialogue.name;
}

class Ft2000Dialogue : public testing::TestWithParam<Dialogue> {};

TEST_P(Ft2000Dialogue, AnswersEachStep) {
  Ft2000Model model(GetParam().auto_info);
  int index = 0;
  for (const Step& step : GetParam().steps) {
    EXPECT_EQ(model.Feed(step.sent), step.answered) << "step " << index << ": " << step.sent;
    ++index;
  }
}

INSTANTIATE_TEST_SUITE_P(Ft2000Model, Ft2000Dialogue, testing::ValuesIn(kDialogues),
                         [](const auto& info) { return info.param.name; });

TEST(Ft2000Model, InformationAnswerFieldsSitWhereClientsParseThem) {
  Ft2000Model model;
  model.Feed("FA07074123;MD09;");
  const std::string answer = model.InformationAnswer();
  ASSERT_EQ(answer.size(), 27u);
  EXPECT_EQ(answer.substr(0, 2), "IF");
  EXPECT_EQ(answer.substr(2, 3), "001");
  EXPECT_EQ(answer.substr(5, 8), "07074123");
  EXPECT_EQ(answer.substr(13, 5), "+0000");
  EXPECT_EQ(answer[20], '9');
  EXPECT_EQ(answer.back(), ';');
}

TEST(Ft2000Model, ByteByByteFeedAnswersLikeOneChunk) {
  const std::string script =
      "AI1;ID;FA14074000;FA;MD0C;IF;EX029;VS1;VS;ZZ;FB03500000;FB;SH0;NA0;PS;MD1;";
  Ft2000Model whole;
  Ft2000Model bytewise;
  std::string answered;
  for (char c : script) answered += bytewise.Feed(std::string(1, c));
  EXPECT_EQ(answered, whole.Feed(script));
  EXPECT_TRUE(bytewise.pending().empty());
}

TEST(Ft2000Model, ReadFormsAnswerAsWideAsTheSharedTableSays) {
  // The model must answer every token whose read form is sure; others only if it knows them.
  constexpr std::string_view kSure[] = {"AC", "AG", "AI", "BI", "BP", "FA", "FB", "FT",
                                        "ID", "IF", "IS", "MD", "MG", "NA", "PA", "PC",
                                        "PS", "RA", "RM", "SH", "SM", "TX", "VS"};
  Ft2000Model model;
  for (const cat::CommandInfo& info : cat::Commands()) {
    if (info.read_params == cat::kNoReadForm || info.answer_params == 0) continue;
    const std::string read = std::string(info.token) + std::string(info.read_params, '0') + ";";
    const std::string answer = model.Feed(read);
    const bool sure = std::find(std::begin(kSure), std::end(kSure), info.token) != std::end(kSure);
    if (answer == "?;" && !sure) continue;
    EXPECT_EQ(answer.size(), 2u + info.answer_params + 1) << read << " -> " << answer;
    EXPECT_EQ(answer.substr(0, 2), info.token) << read << " -> " << answer;
  }
}

TEST(Ft2000Model, IncompleteCommandWaitsInPending) {
  Ft2000Model model;
  EXPECT_EQ(model.Feed("ID;FA140"), "ID0251;");
  EXPECT_EQ(model.pending(), "FA140");
  EXPECT_EQ(model.frequency_a(), 14'070'000u);
}

}  // namespace
}  // namespace corvane
