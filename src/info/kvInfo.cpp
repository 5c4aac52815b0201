#include "kvInfo.h"

// First cut: counters in memory only; the information file and the links come with the product
// information work.

TkvInfo *Info = nullptr;

TkvInfo::TkvInfo(const TkvProductInfo &product)
{
    SetProduct(product);
}

TkvInfo::~TkvInfo() = default;

void TkvInfo::SetProduct(const TkvProductInfo &) {}

void TkvInfo::AddCounter(const QString &, int) {}

void TkvInfo::OpenLink(const QString &page, const QString &action, const QString &extra)
{
    LastLink = page + action + extra;
}

void TkvInfo::HandleAppException(const QString &errorText)
{
    OpenLink(QString(), QStringLiteral("err&e=") + errorText, QString());
}

QString TkvInfo::InfoFilePath() const
{
    return QString();
}

void TkvInfo::LoadInfo() {}

void TkvInfo::SaveInfo() {}
