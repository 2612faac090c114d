#include "ase/ase_statement.h"

#include <gtest/gtest.h>

#include "ase/ase_error.h"

namespace vq::ase {
namespace {

TEST(ParameterMarkerTest, FindsOnlyTheQuestionMarksTheLibraryWouldTake) {
  constexpr auto npos = std::string_view::npos;
  EXPECT_EQ(FindParameterMarker("select * from t where a = ?"), 26u);
  EXPECT_EQ(FindParameterMarker("INSERT INTO [Why?] VALUES('what?', \"who?\")"), npos);
  EXPECT_EQ(FindParameterMarker("select 'it''s ?' from t"), npos);
  EXPECT_EQ(FindParameterMarker("select 1 -- really?\n"), npos);
  EXPECT_EQ(FindParameterMarker("select 1 /* sure? */ + 2"), npos);
  EXPECT_EQ(FindParameterMarker("select 1 -- done?\n, ?"), 20u);
  EXPECT_EQ(FindParameterMarker("select 5-3, 6/2 ?"), 16u);
  // An unclosed quote or bracket swallows the rest, as in the library.
  EXPECT_EQ(FindParameterMarker("select 'open ?"), npos);
  EXPECT_EQ(FindParameterMarker("select [open ?"), npos);
}

TEST(ParameterMarkerTest, CheckRefusesMarkersAndNulsWithAReason) {
  EXPECT_NO_THROW(CheckStatementText("INSERT INTO [Q] VALUES('?')"));
  try {
    CheckStatementText("select ?");
    FAIL();
  } catch (const AseError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::kClient);
    EXPECT_NE(std::string(e.what()).find("'?'"), std::string::npos);
  }
  EXPECT_THROW(CheckStatementText(std::string_view("select 1\0", 9)), AseError);
}

TEST(BracketNameTest, BracketsWhatAseTakesAndRefusesTheRest) {
  EXPECT_EQ(BracketName("sales db"), "[sales db]");
  EXPECT_EQ(BracketName("O'Hara"), "[O'Hara]");
  EXPECT_THROW(BracketName(""), AseError);
  EXPECT_THROW(BracketName("a]b"), AseError);
  EXPECT_THROW(BracketName("dbo.t"), AseError);
  EXPECT_THROW(BracketName("a\nb"), AseError);
}

}  // namespace
}  // namespace vq::ase
