// Lists each card's name and telephone numbers with their types, gives the
// first card's first number a new value and saves the cards.
//   phone_list IN.vcf OUT.vcf
#include <iostream>
#include <tarvovcard/cards.hpp>

int main(int argc, char** argv) try {
  namespace tc = tarvovcard::cards;
  if (argc != 3) {
    std::cerr << "usage: phone_list IN.vcf OUT.vcf\n";
    return 2;
  }
  tc::Cards book = tc::Cards::Load(argv[1]);
  for (const tc::Card card : book) {
    std::cout << card.Text("FN") << '\n';
    for (const tc::Property& tel : card.Find("TEL")) {
      std::cout << "  " << tel.Text();
      for (const std::string& type : tel.Types()) std::cout << ' ' << type;
      std::cout << '\n';
    }
  }
  if (!book.empty() && !book[0].Find("TEL").empty()) book[0].Find("TEL")[0].SetText("+46 18 00 00");
  book.Save(argv[2]);
} catch (const tarvovcard::cards::Error& e) {
  std::cerr << "phone_list: " << e.what() << '\n';
  return 1;
}
