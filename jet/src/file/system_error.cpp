#include "file/system_error.h"

#include <cerrno>
#include <cstring>

namespace jet::detail {

std::string systemErrorText(int code)
{
    switch (code) {
    case EACCES: return "permission refusée";
    case EPERM: return "opération non permise";
    case ENOENT: return "fichier ou dossier introuvable";
    case ENOTDIR: return "un élément du chemin n'est pas un dossier";
    case EISDIR: return "c'est un dossier";
    case ENAMETOOLONG: return "nom de fichier trop long";
    case ELOOP: return "trop de liens symboliques dans le chemin";
    case EROFS: return "support en lecture seule";
    case ENOSPC: return "plus de place sur le disque";
#ifdef EDQUOT
    case EDQUOT: return "quota de disque dépassé";
#endif
    case EFBIG: return "fichier trop grand";
    case EOVERFLOW: return "fichier trop grand pour ce système";
    case EIO: return "erreur d'entrée-sortie (disque ou réseau)";
    case EBUSY: return "ressource occupée";
    case ETXTBSY: return "fichier occupé";
    case EAGAIN: return "ressource momentanément indisponible";
    case EINTR: return "opération interrompue";
    case EMFILE:
    case ENFILE: return "trop de fichiers ouverts";
    case ENOMEM: return "mémoire insuffisante";
    case ENOLCK: return "plus de verrou disponible";
    case EDEADLK: return "verrouillage refusé (interblocage)";
    case EINVAL: return "opération invalide";
    case ENODEV:
    case ENXIO: return "périphérique absent";
#ifdef ESTALE
    case ESTALE: return "fichier réseau devenu inaccessible";
#endif
    case ENOTSUP: return "opération non prise en charge par ce système de fichiers";
    default: break;
    }
    return "erreur système " + std::to_string(code) + " (" + std::strerror(code) + ")";
}

} // namespace jet::detail
